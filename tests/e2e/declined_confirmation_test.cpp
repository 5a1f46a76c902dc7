// Runs whose bundles all verify reach the confirmation alert. Declining it,
// with Escape or for want of a terminal, ends with status 0 and leaves
// everything as it was: no file, no folder, no process touched.
//
// Kept apart from the refusals so that confirmed runs (staging, exchange,
// launch, retirement) grow into scenarios of their own next to it.

#include <gtest/gtest.h>
#include <signal.h>

#include <functional>
#include <optional>
#include <thread>

#include "failure_report.h"
#include "harness.h"

namespace e2e {
namespace {

const std::string oldCopiesNotice =
    "新版启动后，可核验且已退出的旧副本会移到废纸篓，相关程序坞入口会清理。";
const std::string dataNotice =
    "浏览器的历史、书签、密码和已同步的账号资料存放在原系统目录。"
    "若工作台只在当前页面登录，或有未保存的内容，请先取消并完成保存或登录同步。";

struct CurrentCopy {
  std::string version;
  std::string path;
};

/// What the confirmation must say for these facts.
Alert expectedConfirmation(const std::string& version, const std::string& destination,
                           const std::optional<CurrentCopy>& current, bool browserRunning) {
  Alert alert;
  alert.messageText = "安装Quorvane浏览器 " + version + "？";
  alert.informativeText = "安装位置\n" + destination;
  if (current) alert.informativeText += "\n\n当前副本 " + current->version + "\n" + current->path;
  if (browserRunning) alert.informativeText += "\n\n确认后会先正常退出旧浏览器。";
  alert.informativeText += "\n\n" + oldCopiesNotice + "\n\n" + dataNotice;
  alert.buttons = {browserRunning ? "退出并更新" : "安装", "取消"};
  alert.defaultButton = 0;
  return alert;
}

/// Waits for the confirmation, compares it, declines with Escape and expects
/// a clean end.
void expectDeclinedConfirmation(InstallerRun& run, const Alert& expected) {
  Alert alert = run.waitForAlert();
  EXPECT_EQ(alert.messageText, expected.messageText);
  EXPECT_EQ(alert.informativeText, expected.informativeText);
  EXPECT_EQ(alert.buttons, expected.buttons);
  EXPECT_EQ(alert.defaultButton, expected.defaultButton);
  EXPECT_EQ(alert.standardErrorBefore, "");
  run.press(escapeKey);
  RunResult result = run.finish();
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.standardError, "");
  EXPECT_EQ(result.standardOutput, "");
  EXPECT_EQ(countAlerts(result.terminal), 1u) << visible(result.terminal);
  EXPECT_TRUE(result.terminalRestored);
}

std::string destinationIn(const Sandbox& sandbox) {
  return (sandbox.path("apps") / browserBundle).string();
}

std::string validSource(const Sandbox& sandbox, const BundleSpec& spec = {}) {
  return makeBundle(sandbox.path("new") / browserBundle, spec).string();
}

struct DeclineCase {
  const char* name;
  /// Stages the bundles and answers the command line.
  std::function<std::vector<std::string>(const Sandbox&)> arguments;
  /// Where the confirmation says the browser goes.
  std::function<std::string(const Sandbox&)> destination = destinationIn;
  std::optional<CurrentCopy> (*current)(const Sandbox&) = nullptr;
  /// The run reads the build's own shipped browser.
  bool readsShippedBrowser = false;
};

TEST(DeclinedConfirmation, EscapeEndsWithStatusZeroAndNothingChanged) {
  const DeclineCase cases[] = {
      {"nothing installed yet",
       [](const Sandbox& s) {
         return std::vector<std::string>{"--source", validSource(s), "--destination", destinationIn(s)};
       }},
      {"the same version installed",
       [](const Sandbox& s) {
         makeBundle(destinationIn(s));
         return std::vector<std::string>{"--source", validSource(s), "--destination", destinationIn(s)};
       }},
      {"an older version installed",
       [](const Sandbox& s) {
         makeBundle(destinationIn(s), {.version = std::string("1.0")});
         return std::vector<std::string>{"--source", validSource(s), "--destination", destinationIn(s)};
       }},
      {"an older current copy elsewhere, not running",
       [](const Sandbox& s) {
         makeBundle(s.path("old") / browserBundle, {.version = std::string("2.0")});
         return std::vector<std::string>{"--source", validSource(s), "--destination", destinationIn(s),
                                         "--current-app", (s.path("old") / browserBundle).string()};
       },
       destinationIn,
       [](const Sandbox& s) {
         return std::optional<CurrentCopy>({"2.0", (s.path("old") / browserBundle).string()});
       }},
      {"a binary Info.plist",
       [](const Sandbox& s) {
         return std::vector<std::string>{"--source", validSource(s, {.binaryInfo = true}),
                                         "--destination", destinationIn(s)};
       }},
      {"a relative source",
       [](const Sandbox& s) {
         validSource(s);
         return std::vector<std::string>{"--source", "new/" + std::string(browserBundle),
                                         "--destination", destinationIn(s)};
       }},
      {"a destination reached through a linked folder, shown resolved",
       [](const Sandbox& s) {
         fs::create_directories(s.path("apps"));
         fs::create_directory_symlink(s.path("apps"), s.path("apps-link"));
         return std::vector<std::string>{"--source", validSource(s), "--destination",
                                         (s.path("apps-link") / browserBundle).string()};
       }},
      {"the last of a repeated key wins",
       [](const Sandbox& s) {
         std::string broken = (s.path("broken") / browserBundle).string();
         makeBundle(broken, {.identifier = "com.example.other"});
         return std::vector<std::string>{"--source", broken, "--source", validSource(s),
                                         "--destination", destinationIn(s)};
       }},
      {"a process serial number between key and value",
       [](const Sandbox& s) {
         return std::vector<std::string>{"--source", "-psn_0_9", validSource(s), "--destination",
                                         destinationIn(s)};
       }},
      {"no arguments: the shipped browser into ~/Applications",
       [](const Sandbox&) { return std::vector<std::string>{}; },
       [](const Sandbox& s) { return (s.applicationsFolder() / browserBundle).string(); }, nullptr,
       true},
      {"only a process serial number counts as no arguments",
       [](const Sandbox&) { return std::vector<std::string>{"-psn_0_12345"}; },
       [](const Sandbox& s) { return (s.applicationsFolder() / browserBundle).string(); }, nullptr,
       true},
  };
  for (const auto& testCase : cases) {
    SCOPED_TRACE(testCase.name);
    runCase([&] {
      Sandbox sandbox;
      std::vector<std::string> arguments = testCase.arguments(sandbox);
      TreeSnapshot before = snapshotTree(sandbox.root());
      TreeSnapshot shippedBefore;
      if (testCase.readsShippedBrowser) shippedBefore = snapshotTree(builtInstallerBundle());
      InstallerRun run = InstallerRun::start(sandbox, {.arguments = arguments});
      std::optional<CurrentCopy> current;
      if (testCase.current) current = testCase.current(sandbox);
      expectDeclinedConfirmation(
          run, expectedConfirmation(PROJECT_VERSION, testCase.destination(sandbox), current, false));
      EXPECT_EQ(treeDifferences(before, snapshotTree(sandbox.root())), "");
      if (testCase.readsShippedBrowser) {
        EXPECT_EQ(treeDifferences(shippedBefore, snapshotTree(builtInstallerBundle())), "");
      }
    });
  }
}

TEST(DeclinedConfirmation, WithoutATerminalTheConfirmationIsDeclinedSilently) {
  Sandbox sandbox;
  std::vector<std::string> arguments = {"--source", validSource(sandbox), "--destination",
                                        destinationIn(sandbox)};
  TreeSnapshot before = snapshotTree(sandbox.root());
  InstallerRun run =
      InstallerRun::start(sandbox, {.arguments = arguments, .controllingTerminal = false});
  RunResult result = run.finish();
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.standardError, "");
  EXPECT_EQ(result.standardOutput, "");
  EXPECT_EQ(treeDifferences(before, snapshotTree(sandbox.root())), "");
}

TEST(DeclinedConfirmation, ARunningBrowserIsNamedAndLeftRunning) {
  struct RunningCase {
    const char* name;
    bool runsFromDestination;
  };
  for (const RunningCase& testCase : {RunningCase{"running from the installed copy", true},
                                      RunningCase{"running from an older copy elsewhere", false}}) {
    SCOPED_TRACE(testCase.name);
    runCase([&] {
      Sandbox sandbox;
      fs::path record = sandbox.path("record");
      std::string destination = destinationIn(sandbox);
      std::string running = testCase.runsFromDestination
                                ? destination
                                : (sandbox.path("old") / browserBundle).string();
      std::string runningVersion = testCase.runsFromDestination ? PROJECT_VERSION : "1.5";
      makeBundle(running, {.version = runningVersion, .record = record});
      std::vector<std::string> arguments = {"--source", validSource(sandbox), "--destination",
                                            destination};
      if (!testCase.runsFromDestination) {
        arguments.push_back("--current-app");
        arguments.push_back(running);
      }
      BrowserProcess browser = BrowserProcess::start(sandbox, running);
      BrowserRecord(record).waitForStarts(1);
      TreeSnapshot before = snapshotTree(sandbox.root());

      InstallerRun run = InstallerRun::start(sandbox, {.arguments = arguments});
      expectDeclinedConfirmation(
          run, expectedConfirmation(PROJECT_VERSION, destination,
                                    CurrentCopy{runningVersion, running}, true));
      EXPECT_FALSE(browser.hasEnded());
      EXPECT_EQ(BrowserRecord(record).count("TERM", browser.pid()), 0);
      EXPECT_EQ(treeDifferences(before, snapshotTree(sandbox.root())), "");
    });
  }
}

}  // namespace
}  // namespace e2e
