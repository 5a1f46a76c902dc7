// Installations refused before the user is asked, or declined by the user:
// every bundle verifies, yet the versions, the data folders or the running
// browsers forbid the run. Nothing is created or changed, and no running
// browser is asked to quit.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "failure_report.h"
#include "harness.h"
#include "transaction_support.h"

namespace e2e {
namespace {

/// What one refused run is handed: its command line, its environment and the
/// bundles whose browsers run while it checks.
struct RefusedRun {
  std::vector<std::string> arguments;
  Environment environment{};
  std::vector<fs::path> running{};
  std::string description;
};

std::vector<std::string> installArguments(const Sandbox& sandbox) {
  return {"--source", newBundleLocation(sandbox).string(), "--destination",
          installedLocation(sandbox).string()};
}

std::string downgrade(const std::string& older, const std::string& newer) {
  return "安装包版本 " + older + " 低于现有浏览器 " + newer + "，请选择相同或更新的版本。";
}

std::string overlap(const fs::path& location) {
  return "应用路径与浏览器资料目录重叠。\n" + location.string();
}

const std::string instanceAtDestination = "安装位置的浏览器正在运行，请先退出后重试。";
const std::string severalInstances = "检测到多份正在运行的浏览器，请先退出其他副本后重试。";

struct RefusalCase {
  const char* name;
  /// Makes the bundles (the new one at newBundleLocation is made already).
  std::function<RefusedRun(const Sandbox&)> stage;
};

TEST(RefusedInstallation, PreflightNamesTheReasonAndChangesNothing) {
  const std::string version = PROJECT_VERSION;
  const RefusalCase cases[] = {
      {"a newer installed copy",
       [&](const Sandbox& s) {
         makeBundle(installedLocation(s), {.version = std::string("99.0")});
         return RefusedRun{installArguments(s), {}, {}, downgrade(version, "99.0")};
       }},
      {"a newer current copy, the installed one older",
       [&](const Sandbox& s) {
         makeBundle(installedLocation(s), {.version = std::string("1.0")});
         fs::path current = makeBundle(s.path("old") / browserBundle, {.version = std::string("12.0.1")});
         std::vector<std::string> arguments = installArguments(s);
         arguments.insert(arguments.end(), {"--current-app", current.string()});
         return RefusedRun{arguments, {}, {}, downgrade(version, "12.0.1")};
       }},
      {"installed and current copies both newer: the installed one is named",
       [&](const Sandbox& s) {
         makeBundle(installedLocation(s), {.version = std::string("30")});
         fs::path current = makeBundle(s.path("old") / browserBundle, {.version = std::string("40")});
         std::vector<std::string> arguments = installArguments(s);
         arguments.insert(arguments.end(), {"--current-app", current.string()});
         return RefusedRun{arguments, {}, {}, downgrade(version, "30")};
       }},
      {"a newer copy running elsewhere, no current copy named",
       [&](const Sandbox& s) {
         fs::path running = makeBundle(s.path("old") / browserBundle, {.version = std::string("50.1")});
         return RefusedRun{installArguments(s), {}, {running}, downgrade(version, "50.1")};
       }},
      {"the data root holds the installation folder",
       [&](const Sandbox& s) {
         return RefusedRun{installArguments(s), {{"QRVX_DATA_ROOT", s.path("apps").string()}}, {},
                           overlap(installedLocation(s))};
       }},
      {"the data root lies inside the new bundle",
       [&](const Sandbox& s) {
         return RefusedRun{installArguments(s),
                           {{"QRVX_DATA_ROOT", (newBundleLocation(s) / "Contents/Resources").string()}},
                           {},
                           overlap(newBundleLocation(s))};
       }},
      {"the data root differs from the installation folder only in letter case",
       [&](const Sandbox& s) {
         return RefusedRun{installArguments(s), {{"QRVX_DATA_ROOT", s.path("APPS").string()}}, {},
                           overlap(installedLocation(s))};
       }},
      {"the installation inside the user's data folder",
       [&](const Sandbox& s) {
         fs::path destination = s.dataHome() / "Quorvane" / browserBundle;
         return RefusedRun{{"--source", newBundleLocation(s).string(), "--destination", destination.string()},
                           {{"QRVX_DATA_ROOT", s.path("profile").string()}},
                           {},
                           overlap(destination)};
       }},
      {"a browser runs from the destination while another copy is the current one",
       [&](const Sandbox& s) {
         fs::path installed = makeBundle(installedLocation(s), {.version = std::string("1.0")});
         fs::path current = makeBundle(s.path("old") / browserBundle, {.version = std::string("1.0")});
         std::vector<std::string> arguments = installArguments(s);
         arguments.insert(arguments.end(), {"--current-app", current.string()});
         return RefusedRun{arguments, {}, {installed}, instanceAtDestination};
       }},
      {"two copies running, no current copy named",
       [&](const Sandbox& s) {
         fs::path installed = makeBundle(installedLocation(s), {.version = std::string("1.0")});
         fs::path other = makeBundle(s.path("old") / browserBundle, {.version = std::string("1.0")});
         return RefusedRun{installArguments(s), {}, {installed, other}, severalInstances};
       }},
      {"one copy running twice, no current copy named",
       [&](const Sandbox& s) {
         fs::path installed = makeBundle(installedLocation(s), {.version = std::string("1.0")});
         return RefusedRun{installArguments(s), {}, {installed, installed}, severalInstances};
       }},
  };
  for (const RefusalCase& testCase : cases) {
    SCOPED_TRACE(testCase.name);
    runCase([&] {
      Sandbox sandbox;
      fs::path record = sandbox.path("record");
      makeBundle(newBundleLocation(sandbox));
      RefusedRun refused = testCase.stage(sandbox);
      // The running copies record their starts and any request to quit.
      for (const fs::path& bundle : refused.running) {
        writeFixtureBehaviour(bundle, FixtureMode::stay, record);
        sealBundle(bundle);
      }
      std::vector<BrowserProcess> browsers;
      for (const fs::path& bundle : refused.running) {
        browsers.push_back(BrowserProcess::start(sandbox, bundle));
        BrowserRecord(record).waitForStarts(browsers.size());
      }
      TreeSnapshot before = snapshotTree(sandbox.root());

      InstallerRun run = InstallerRun::start(
          sandbox, {.arguments = refused.arguments, .extraEnvironment = refused.environment});
      expectFailureReport(run, refused.description);

      EXPECT_EQ(treeDifferences(before, snapshotTree(sandbox.root())), "");
      for (BrowserProcess& browser : browsers) {
        EXPECT_FALSE(browser.hasEnded()) << "pid " << browser.pid();
        EXPECT_EQ(BrowserRecord(record).count("TERM", browser.pid()), 0) << "pid " << browser.pid();
      }
    });
  }
}

TEST(RefusedInstallation, DecliningAnInstallIntoAMissingFolderCreatesNothing) {
  Sandbox sandbox;
  fs::path source = makeBundle(newBundleLocation(sandbox));
  fs::path missing = sandbox.path("not-yet");
  fs::path destination = missing / "Applications" / browserBundle;
  TreeSnapshot before = snapshotTree(sandbox.root());

  InstallerRun run = InstallerRun::start(
      sandbox, {.arguments = {"--source", source.string(), "--destination", destination.string()}});
  Alert alert = run.waitForAlert();
  EXPECT_EQ(alert.buttons, (std::vector<std::string>{"安装", "取消"}));
  EXPECT_TRUE(alert.informativeText.starts_with("安装位置\n" + destination.string() + "\n\n"))
      << alert.informativeText;
  run.press(escapeKey);
  RunResult result = run.finish();

  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.standardError, "");
  EXPECT_EQ(result.standardOutput, "");
  EXPECT_EQ(countAlerts(result.terminal), 1u) << visible(result.terminal);
  EXPECT_FALSE(fs::exists(missing)) << "the install folder was created";
  EXPECT_EQ(treeDifferences(before, snapshotTree(sandbox.root())), "");
}

}  // namespace
}  // namespace e2e
