#include <gtest/gtest.h>
#include <time.h>

#include "platform/host/host.h"
#include "tests/platform/host_test_folder.h"

namespace installer::host {
namespace {

TEST(HostProcessInfoTest, EnvironmentKeepsValuesWithSeparatorsAndUptimeIsMonotonic) {
  fixtures::ScopedVariable variable("QRVX_HOST_TEST_VALUE", "a=b=c ü");
  fixtures::ScopedVariable empty("QRVX_HOST_TEST_EMPTY", "");
  HostProcessInfo info;
  std::map<std::string, std::string> environment = info.environment();
  EXPECT_EQ(environment["QRVX_HOST_TEST_VALUE"], "a=b=c ü");
  EXPECT_EQ(environment.count("QRVX_HOST_TEST_EMPTY"), 1u);

  struct timespec before {};
  ::clock_gettime(CLOCK_MONOTONIC, &before);
  double uptime = info.systemUptime();
  EXPECT_GE(uptime, before.tv_sec + before.tv_nsec / 1e9);
  EXPECT_LT(uptime, before.tv_sec + 1.0 + before.tv_nsec / 1e9);
}

}  // namespace
}  // namespace installer::host
