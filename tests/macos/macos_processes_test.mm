// Child processes, the main run loop, process information and the
// application services that need no window.

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "platform/macos/macos.h"
#include "platform/platform_error.h"

namespace installer::macos {
namespace {

TEST(MacChildProcesses, AnswersTheTerminationStatus) {
  struct Case {
    std::string executable;
    std::vector<std::string> arguments;
    bool succeeds;
  };
  const Case cases[] = {
      {"/usr/bin/true", {}, true},
      {"/usr/bin/false", {}, false},
      {"/bin/sh", {"-c", "kill -TERM $$"}, false},
      // Each argument arrives whole and unchanged: no shell in between.
      {"/bin/sh", {"-c", "test \"$1\" = 'a b \"c\" $HOME'", "sh", "a b \"c\" $HOME"}, true},
  };
  MacChildProcesses processes;
  for (const Case& c : cases) {
    EXPECT_EQ(processes.run(c.executable, c.arguments) == 0, c.succeeds) << c.arguments.size();
  }
}

TEST(MacChildProcesses, AToolThatCannotStartIsAPlatformError) {
  MacChildProcesses processes;
  EXPECT_THROW(processes.run("/no/such/tool", {}), PlatformError);
  EXPECT_THROW(processes.run("", {}), PlatformError);
  EXPECT_THROW(processes.run("/usr/bin/true", {"\xFF"}), PlatformError);
}

/// Turns the main run loop until `done` or about two seconds have passed.
template <typename Done>
void runUntil(MacRunLoop& loop, Done done) {
  for (int pass = 0; pass < 40 && !done(); ++pass) loop.runOnce(0.05);
}

TEST(MacRunLoop, RunsBlocksQueuedFromAnyThread) {
  MacRunLoop loop;
  std::atomic<bool> ran = false;
  std::thread([&loop, &ran] { loop.dispatchToMain([&ran] { ran = true; }); }).join();
  runUntil(loop, [&ran] { return ran.load(); });
  EXPECT_TRUE(ran);
}

TEST(MacRunLoop, AFailingBlockFailsThePassThatRanIt) {
  MacRunLoop loop;
  loop.dispatchToMain([] { throw std::runtime_error("block failed"); });
  bool thrown = false;
  for (int pass = 0; pass < 40 && !thrown; ++pass) {
    try {
      loop.runOnce(0.05);
    } catch (const std::runtime_error& error) {
      EXPECT_STREQ(error.what(), "block failed");
      thrown = true;
    }
  }
  EXPECT_TRUE(thrown);
  EXPECT_NO_THROW(loop.runOnce(0));
}

TEST(MacRunLoop, SleepsOnTheMonotonicClock) {
  MacRunLoop loop;
  MacProcessInfo process;
  double before = process.systemUptime();
  loop.sleep(0.1);
  EXPECT_GE(process.systemUptime() - before, 0.1);
  EXPECT_NO_THROW(loop.sleep(-1));
}

TEST(MacProcessInfo, ReadsTheEnvironment) {
  ASSERT_EQ(::setenv("QRVX_MACOS_TEST", "value \xE6\xB5\x8F", 1), 0);
  std::map<std::string, std::string> environment = MacProcessInfo().environment();
  EXPECT_EQ(environment["QRVX_MACOS_TEST"], "value \xE6\xB5\x8F");
  ::unsetenv("QRVX_MACOS_TEST");
}

TEST(MacRunningApplications, AnIdentifierNobodyRunsHasNoInstances) {
  MacRunningApplications running;
  EXPECT_TRUE(running.runningApplications("com.quorvane.no-such-application").empty());
  EXPECT_TRUE(running.runningApplications("\xFF").empty());
}

TEST(MacWorkspace, AMissingBundleCompletesWithAnError) {
  MacRunLoop loop;
  MacWorkspace workspace;
  std::atomic<bool> completed = false;
  bool withHandle = true;
  std::string description;
  workspace.openApplication(
      FileURL::fromAbsolutePath("/no/such/Quorvane.app"), OpenConfiguration{},
      [&](RunningApplicationHandle handle, std::exception_ptr error) {
        // Taken up on the main thread, as the installer does.
        loop.dispatchToMain([&, handle, error] {
          withHandle = handle != nullptr;
          try {
            if (error) std::rethrow_exception(error);
          } catch (const PlatformError& failure) {
            description = failure.what();
          }
          completed = true;
        });
      });
  for (int pass = 0; pass < 200 && !completed; ++pass) loop.runOnce(0.05);
  ASSERT_TRUE(completed);
  EXPECT_FALSE(withHandle);
  EXPECT_FALSE(description.empty());
}

}  // namespace
}  // namespace installer::macos
