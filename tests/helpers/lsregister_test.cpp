#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "helper_process.h"
#include "scratch_tree.h"

namespace helpers_test {
namespace {

/// Runs lsregister with a home and data folder inside `scratch` only.
HelperOutcome lsregister(const ScratchDirectory& scratch, const std::vector<std::string>& arguments,
                         const std::string& dataHome = "") {
  std::vector<std::string> environment{"PATH=/usr/bin:/bin", "HOME=" + scratch / "home"};
  if (!dataHome.empty()) environment.push_back("XDG_DATA_HOME=" + dataHome);
  return runHelper("lsregister", arguments, environment);
}

std::string registryOf(const std::string& dataHome) {
  return readFile(dataHome + "/launch-services/registered-bundles.txt");
}

TEST(LsregisterTest, RegistryLivesInTheDataHome) {
  struct Case {
    std::string name;
    std::string dataHome;  // relative to the scratch folder; empty: unset
    std::string expectedFolder;
  };
  const std::vector<Case> cases = {{"XDG_DATA_HOME set", "data", "data"},
                                   {"XDG_DATA_HOME unset", "", "home/.local/share"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDirectory scratch;
    makeDirectory(scratch / "A.app");
    HelperOutcome outcome = lsregister(scratch, {"-f", scratch / "A.app"}, c.dataHome.empty() ? "" : scratch / c.dataHome);
    ASSERT_EQ(outcome.status, 0) << outcome.standardError;
    EXPECT_EQ(registryOf(scratch / c.expectedFolder), scratch / "A.app\n");
  }
  ScratchDirectory scratch;
  makeDirectory(scratch / "A.app");
  ASSERT_EQ(lsregister(scratch, {"-f", scratch / "A.app"}, "relative/data").status, 0);
  EXPECT_EQ(registryOf(scratch / "home/.local/share"), scratch / "A.app\n");
}

TEST(LsregisterTest, ForceAndWithdrawRoundTrip) {
  ScratchDirectory scratch;
  const std::string data = scratch / "data";
  const std::string first = scratch / "First 浏览器.app";
  const std::string awkward = scratch / "line\nfeed \\ back.app";
  makeDirectory(first);
  makeDirectory(awkward);
  struct Step {
    std::vector<std::string> arguments;
    std::string registry;
  };
  const std::string awkwardLine = scratch / "line\\nfeed \\\\ back.app\n";
  const std::vector<Step> steps = {
      {{"-f", first}, first + "\n"},
      {{"-f", awkward}, first + "\n" + awkwardLine},
      {{"-f", first + "/"}, first + "\n" + awkwardLine},
      {{"-f", scratch / "./First 浏览器.app"}, first + "\n" + awkwardLine},
      {{"-u", first}, awkwardLine},
      {{"-u", first}, awkwardLine},
      {{"-u", awkward}, ""},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.arguments[0] + " " + step.arguments[1]);
    HelperOutcome outcome = lsregister(scratch, step.arguments, data);
    ASSERT_EQ(outcome.status, 0) << outcome.standardError;
    EXPECT_EQ(registryOf(data), step.registry);
  }
}

TEST(LsregisterTest, RefusesWhatItCannotDo) {
  struct Case {
    std::vector<std::string> arguments;
    int status;
  };
  ScratchDirectory scratch;
  makeDirectory(scratch / "A.app");
  const std::vector<Case> cases = {
      {{"-f", scratch / "missing.app"}, 1}, {{}, 2}, {{"-f"}, 2}, {{"-u"}, 2}, {{"-x", scratch / "A.app"}, 2},
      {{"-f", scratch / "A.app", "extra"}, 2}, {{"-f", ""}, 2}, {{"-fu", scratch / "A.app"}, 2},
      {{scratch / "A.app"}, 2}};
  for (const Case& c : cases) {
    HelperOutcome outcome = lsregister(scratch, c.arguments, scratch / "data");
    EXPECT_EQ(outcome.status, c.status) << c.arguments.size();
    EXPECT_FALSE(outcome.standardError.empty());
  }
  EXPECT_FALSE(exists(scratch / "data/launch-services/registered-bundles.txt"));
  EXPECT_EQ(lsregister(scratch, {"-u", scratch / "A.app"}, scratch / "data").status, 0);
  EXPECT_FALSE(exists(scratch / "data"));
}

TEST(LsregisterTest, ConcurrentRegistrationsKeepEveryEntry) {
  ScratchDirectory scratch;
  constexpr int count = 24;
  std::vector<HelperProcess> processes;
  std::string expected;
  for (int i = 0; i < count; ++i) {
    const std::string bundle = scratch / ("B" + std::to_string(i) + ".app");
    makeDirectory(bundle);
    processes.emplace_back("lsregister", std::vector<std::string>{"-f", bundle},
                           std::vector<std::string>{"HOME=" + scratch / "home", "XDG_DATA_HOME=" + scratch / "data"});
  }
  for (HelperProcess& process : processes) EXPECT_EQ(process.finish().status, 0);
  const std::string registry = registryOf(scratch / "data");
  for (int i = 0; i < count; ++i)
    EXPECT_NE(registry.find(scratch / ("B" + std::to_string(i) + ".app\n")), std::string::npos) << i;
  EXPECT_EQ(std::count(registry.begin(), registry.end(), '\n'), count);
}

}  // namespace
}  // namespace helpers_test
