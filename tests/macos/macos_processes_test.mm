// Child processes, the main run loop, process information, the workspace and
// an alert, which the test looks at from inside its modal session.

#import <AppKit/AppKit.h>
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "platform/macos/macos.h"
#include "platform/platform_error.h"

namespace installer::macos {
namespace {

TEST(MacChildProcesses, AnswersTheTerminationStatus) {
  // Deliberately inheritable: the tool must not receive it.
  const int descriptor = ::open("/", O_RDONLY);
  const std::string inheritable = std::to_string(descriptor);
  struct Case {
    std::string executable;
    std::vector<std::string> arguments;
    bool succeeds;
  };
  const Case cases[] = {
      {"/usr/bin/true", {}, true},
      {"/usr/bin/false", {}, false},
      {"/bin/sh", {"-c", "kill -TERM $$"}, false},
      // Each argument arrives whole and unchanged: no shell in between, and
      // bytes that are not UTF-8 are bytes.
      {"/bin/sh", {"-c", "test \"$1\" = 'a b \"c\" $HOME'", "sh", "a b \"c\" $HOME"}, true},
      {"/bin/sh", {"-c", "test \"$1\" = \"$(printf '\\377')\"", "sh", "\xFF"}, true},
      // The standard streams reach the tool, no other descriptor of ours does.
      {"/bin/sh", {"-c", "test -e /dev/fd/2 && ! test -e /dev/fd/$1", "sh", inheritable}, true},
      // A publisher requirement in the one argument the installer passes: a
      // Team ID nobody signs with refuses the shipped browser's valid seal.
      {"/usr/bin/codesign", {"--verify", "--deep", "--strict", QRVX_SHIPPED_BROWSER}, true},
      {"/usr/bin/codesign",
       {"--verify", "--deep", "--strict",
        "-R=anchor apple generic and certificate leaf[subject.OU] = \"QRVXNOBODY\"",
        QRVX_SHIPPED_BROWSER},
       false},
  };
  MacChildProcesses processes;
  for (const Case& c : cases) {
    EXPECT_EQ(processes.run(c.executable, c.arguments) == 0, c.succeeds) << c.arguments.size();
  }
  ::close(descriptor);
}

TEST(MacChildProcesses, AToolThatCannotStartIsAPlatformError) {
  MacChildProcesses processes;
  EXPECT_THROW(processes.run("/no/such/tool", {}), PlatformError);
  EXPECT_THROW(processes.run("", {}), PlatformError);
  EXPECT_THROW(processes.run("/usr/bin/true", {std::string("a\0b", 3)}), PlatformError);
}

/// Turns the main run loop until `done` or about `seconds` have passed.
template <typename Done>
void runUntil(MacRunLoop& loop, Done done, double seconds = 2) {
  for (int pass = 0; pass < seconds * 20 && !done(); ++pass) loop.runOnce(0.05);
}

TEST(MacRunLoop, RunsBlocksQueuedFromAnyThread) {
  MacRunLoop loop;
  // Shared, not a reference to this frame: the block may run after the test.
  auto ran = std::make_shared<std::atomic<bool>>(false);
  std::thread([&loop, ran] { loop.dispatchToMain([ran] { *ran = true; }); }).join();
  runUntil(loop, [&ran] { return ran->load(); });
  EXPECT_TRUE(*ran);
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

TEST(MacChildProcesses, ABlockRunDuringAToolRunChangesNothing) {
  // A late completion queued before a tool run fails the next pass of the
  // installer's own run loop, not the tool run.
  MacRunLoop loop;
  MacChildProcesses processes;
  loop.dispatchToMain([] { throw std::runtime_error("late completion"); });
  EXPECT_EQ(processes.run("/bin/sh", {"-c", "sleep 0.2"}), 0);
  EXPECT_THROW(runUntil(loop, [] { return false; }, 0.1), std::runtime_error);
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

/// The system's power assertions as `pmset` lists them.
std::string powerAssertions() {
  std::string listing;
  FILE* pmset = ::popen("/usr/bin/pmset -g assertions", "r");
  for (int c; pmset && (c = std::fgetc(pmset)) != EOF;) listing += static_cast<char>(c);
  if (pmset) ::pclose(pmset);
  return listing;
}

TEST(MacProcessInfo, AnActivityLetsAnIdleMacSleepAndEndsWithItsHolder) {
  const std::string reason = "qrvx-macos-tests-" + std::to_string(::getpid());
  std::unique_ptr<Activity> activity = MacProcessInfo().beginActivity(reason);
  std::istringstream lines(powerAssertions());
  for (std::string line; std::getline(lines, line);) {
    if (line.find(reason) == std::string::npos) continue;
    EXPECT_EQ(line.find("PreventUserIdleSystemSleep"), std::string::npos) << line;
  }
  activity.reset();
  EXPECT_EQ(powerAssertions().find(reason), std::string::npos);
}

TEST(MacApplication, AnAlertIsTheKeyWindowAboveOrdinaryWindows) {
  MacApplication application;
  application.setAccessoryActivationPolicy();
  // Looks at the alert from inside its modal session, then ends it.
  __block BOOL keyAndVisible = NO;
  __block NSInteger level = 0;
  NSTimer* probe = [NSTimer timerWithTimeInterval:1.0
                                          repeats:NO
                                            block:^(NSTimer*) {
                                              NSWindow* window = [NSApp modalWindow];
                                              keyAndVisible =
                                                  [window isKeyWindow] && [window isVisible];
                                              level = [window level];
                                              [NSApp stopModalWithCode:1000];
                                            }];
  [[NSRunLoop mainRunLoop] addTimer:probe forMode:NSModalPanelRunLoopMode];
  Alert alert{"qrvx macOS tests", "", AlertStyle::informational, {{"OK", ""}}};
  EXPECT_EQ(application.runModal(alert), alertFirstButtonReturn);
  EXPECT_TRUE(keyAndVisible);
  EXPECT_EQ(level, NSModalPanelWindowLevel);
}

TEST(MacRunningApplications, AnIdentifierNobodyRunsHasNoInstances) {
  MacRunningApplications running;
  EXPECT_TRUE(running.runningApplications("com.quorvane.no-such-application").empty());
  EXPECT_TRUE(running.runningApplications("\xFF").empty());
  // Looked up at run time by these names; a misspelt one would go unnoticed.
  for (const char* name :
       {"SecTranslocateIsTranslocatedURL", "SecTranslocateCreateOriginalPathForURL"}) {
    EXPECT_NE(::dlsym(RTLD_DEFAULT, name), nullptr) << name;
  }
}

struct OpenReport {
  bool completed = false;
  RunningApplicationHandle handle;
  std::exception_ptr error;
};

/// What the open request's completion reported, once it came or about ten
/// seconds passed. The completion holds its own share of the report: it may
/// arrive after a failed assertion has ended the test.
OpenReport openAndAwait(MacRunLoop& loop, const std::string& bundle,
                        const OpenConfiguration& configuration) {
  auto shared = std::make_shared<std::pair<std::mutex, OpenReport>>();
  MacWorkspace().openApplication(
      FileURL::fromAbsolutePath(bundle), configuration,
      [shared](RunningApplicationHandle handle, std::exception_ptr error) {
        std::lock_guard lock(shared->first);
        shared->second = OpenReport{true, std::move(handle), error};
      });
  auto reported = [&shared] {
    std::lock_guard lock(shared->first);
    return shared->second;
  };
  runUntil(loop, [&reported] { return reported().completed; }, 10);
  return reported();
}

TEST(MacWorkspace, AMissingBundleCompletesWithAnError) {
  MacRunLoop loop;
  OpenReport opened = openAndAwait(loop, "/no/such/Quorvane.app", OpenConfiguration{});
  ASSERT_TRUE(opened.completed);
  EXPECT_EQ(opened.handle, nullptr);
  EXPECT_THROW(std::rethrow_exception(opened.error), PlatformError);
}

TEST(MacWorkspace, TheStandInBrowserFinishesLaunchingAndQuits) {
  MacRunLoop loop;
  OpenConfiguration configuration;
  configuration.createsNewApplicationInstance = true;
  configuration.environment = std::map<std::string, std::string>{{"QRVX_MACOS_TEST", "1"}};
  OpenReport opened = openAndAwait(loop, QRVX_SHIPPED_BROWSER, configuration);
  RunningApplicationHandle browser = opened.handle;
  ASSERT_NE(browser, nullptr);
  // Not translocated: the bundle's own location comes back.
  std::optional<FileURL> bundle = browser->bundleURL();
  EXPECT_TRUE(bundle && std::filesystem::equivalent(bundle->path(), QRVX_SHIPPED_BROWSER));
  // Finishing the launch is seen only as the run loop turns.
  runUntil(loop, [&browser] { return browser->isFinishedLaunching(); }, 25);
  EXPECT_TRUE(browser->isFinishedLaunching());
  EXPECT_TRUE(browser->terminate());
  // The end is seen without a turn: the handle asks the process itself.
  for (int pass = 0; pass < 100 && !browser->isTerminated(); ++pass) loop.sleep(0.1);
  EXPECT_TRUE(browser->isTerminated());
  if (!browser->isTerminated()) ::kill(browser->processIdentifier(), SIGKILL);
}

}  // namespace
}  // namespace installer::macos
