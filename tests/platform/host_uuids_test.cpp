#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "platform/host/host.h"

namespace installer::host {
namespace {

TEST(HostUUIDsTest, AnswersDistinctUpperCaseRandomUUIDs) {
  const std::regex shape("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
  HostUUIDs uuids;
  std::set<std::string> seen;
  for (int i = 0; i < 1000; ++i) {
    std::string uuid = uuids.newUUIDString();
    EXPECT_TRUE(std::regex_match(uuid, shape)) << uuid;
    seen.insert(uuid);
  }
  EXPECT_EQ(seen.size(), 1000u);
}

}  // namespace
}  // namespace installer::host
