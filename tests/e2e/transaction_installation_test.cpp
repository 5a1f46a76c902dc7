// Confirmed installations that succeed: the new bundle ends up at the
// destination and runs from there, started the way the host opens an
// application, after the old browser (if one ran) was asked to quit; no
// staging directory stays behind.

#include <gtest/gtest.h>

#include <string>

#include "failure_report.h"
#include "harness.h"
#include "installation_steps.h"
#include "launch_registry.h"
#include "transaction_support.h"

namespace e2e {
namespace {

const std::vector<std::string> standardStreamsOnly = {"0 -> /dev/null", "1 -> /dev/null",
                                                      "2 -> /dev/null"};

TEST(ConfirmedInstallation, AFreshInstallRunsTheBrowserWithTheSessionEnvironmentOnly) {
  struct EnvironmentCase {
    const char* name;
    /// QRVX_DATA_ROOT in the installer's environment, relative to the sandbox
    /// root; empty: set, but empty.
    std::string dataRoot;
  };
  for (const EnvironmentCase& testCase :
       {EnvironmentCase{"a data root set", "profile"}, EnvironmentCase{"a data root set empty", ""}}) {
    SCOPED_TRACE(testCase.name);
    runCase([&] {
      Sandbox sandbox;
      fs::path record = sandbox.path("record");
      fs::path source = makeBundle(newBundleLocation(sandbox), {.record = record});
      // In a folder that does not exist yet: the installer makes it.
      fs::path destination = sandbox.path("missing/apps") / browserBundle;
      std::string dataRoot = testCase.dataRoot.empty() ? "" : sandbox.path(testCase.dataRoot).string();
      Environment session = {{"TZ", "Asia/Shanghai"}, {"LC_TIME", "C.UTF-8"}};
      Environment extra = session;
      extra["QRVX_DATA_ROOT"] = dataRoot;
      extra["QRVX_UNRELATED"] = "must not reach the browser";
      extra["EDITOR"] = "vi";
      TreeSnapshot sourceBefore = snapshotTree(source);

      InstallerRun run = InstallerRun::start(
          sandbox, {.arguments = {"--source", source.string(), "--destination", destination.string()},
                    .extraEnvironment = extra});
      confirmWithReturn(run, "安装");
      expectQuietSuccess(run);

      BrowserRecord browsers(record);
      ASSERT_EQ(browsers.starts().size(), 1u) << "the browser was not started exactly once";
      BrowserStart start = browsers.start(browsers.starts().front());
      EXPECT_EQ(start.executable, destination / "Contents/MacOS" / browserName);
      EXPECT_TRUE(processIsAlive(start.pid)) << "the browser did not outlive the installer";
      EXPECT_EQ(start.session, start.pid) << "not the leader of a new session";
      EXPECT_TRUE(start.arguments.empty());

      Environment expected = sandbox.environment();
      for (const auto& [name, value] : session) expected[name] = value;
      if (!dataRoot.empty()) expected["QRVX_DATA_ROOT"] = dataRoot;
      EXPECT_EQ(start.environment, expected);

      EXPECT_EQ(start.descriptors, standardStreamsOnly) << "descriptors open at the start";
      EXPECT_EQ(openDescriptorsOf(start.pid), standardStreamsOnly) << "descriptors open now";

      EXPECT_EQ(infoString(destination, "CFBundleShortVersionString"), PROJECT_VERSION);
      EXPECT_TRUE(bundleVerifies(destination));
      expectDesktopEntry(sandbox, destination);
      EXPECT_EQ(stagingFolders(destination.parent_path()), std::vector<fs::path>{});
      EXPECT_EQ(treeDifferences(sourceBefore, snapshotTree(source)), "") << "the source changed";
    });
  }
}

TEST(ConfirmedInstallation, AnUpdateQuitsTheOldBrowserThenRunsTheNewOneFromTheDestination) {
  struct UpdateCase {
    const char* name;
    std::string installedVersion;
    bool oldBrowserRuns;
    /// The helpers of both bundles, and how many the old browser starts.
    BundleSpec helpers{};
    std::size_t oldHelpers = 0;
    /// The old bundle's crash handler runs, without its browser.
    bool crashHandlerRunsAlone = false;
  };
  const BundleSpec chromium{
      .processes = FixtureProcesses::chromium, .crashHandler = true, .lingerMilliseconds = 300};
  const BundleSpec gecko{.processes = FixtureProcesses::gecko, .lingerMilliseconds = 300};
  const UpdateCase cases[] = {
      {"an older browser running from the destination", "1.0", true},
      {"the same version installed again, not running", PROJECT_VERSION, false},
      {"an older Chromium-style browser running, its helpers lingering", "1.0", true, chromium, 4},
      {"an older Gecko-style browser running, its fork server lingering", "1.0", true, gecko, 3},
      {"only the old browser's crash handler running", "1.0", false, {}, 1, true},
  };
  for (const UpdateCase& testCase : cases) {
    SCOPED_TRACE(testCase.name);
    runCase([&] {
      Sandbox sandbox;
      // One record for both bundles, so the order of quit and start shows.
      fs::path record = sandbox.path("record");
      BundleSpec spec = testCase.helpers;
      spec.record = record;
      fs::path source = makeBundle(newBundleLocation(sandbox), spec);
      spec.version = testCase.installedVersion;
      fs::path destination = makeBundle(installedLocation(sandbox), spec);
      ino_t oldInode = inodeOf(destination);
      BrowserRecord browsers(record);
      std::optional<BrowserProcess> oldBrowser;
      if (testCase.oldBrowserRuns) {
        oldBrowser.emplace(BrowserProcess::start(sandbox, destination));
        browsers.waitForStarts(1);
      }
      std::optional<BrowserProcess> helper;
      if (testCase.crashHandlerRunsAlone) {
        helper.emplace(BrowserProcess::startProgram(
            sandbox, destination / "Contents/MacOS" / browserName, {"--type=crashpad-handler"}));
      }
      const std::vector<pid_t> oldProcesses = browsers.waitForNoted("SPAWN", testCase.oldHelpers);

      InstallerRun run = InstallerRun::start(
          sandbox, {.arguments = {"--source", source.string(), "--destination", destination.string()}});
      Alert confirmation = confirmWithReturn(run, testCase.oldBrowserRuns ? "退出并更新" : "安装");
      const std::string quitNotice = "确认后会先正常退出旧浏览器。";
      EXPECT_EQ(confirmation.informativeText.find(quitNotice) != std::string::npos,
                testCase.oldBrowserRuns)
          << confirmation.informativeText;
      if (testCase.oldBrowserRuns) {
        EXPECT_NE(confirmation.informativeText.find("当前副本 " + testCase.installedVersion + "\n" +
                                                    destination.string()),
                  std::string::npos)
            << confirmation.informativeText;
      }
      expectQuietSuccess(run);

      std::vector<pid_t> starts = browsers.starts();
      ASSERT_EQ(starts.size(), testCase.oldBrowserRuns ? 2u : 1u);
      pid_t newPid = starts.back();
      if (oldBrowser) {
        pid_t oldPid = oldBrowser->pid();
        EXPECT_EQ(oldBrowser->waitForExit(), std::optional<int>(0));
        EXPECT_EQ(browsers.lifecycle(),
                  (std::vector<std::string>{
                      "START " + std::to_string(oldPid), "TERM " + std::to_string(oldPid),
                      "EXIT " + std::to_string(oldPid), "START " + std::to_string(newPid)}))
            << "the old browser must be asked to quit once, and end, before the new one starts; "
               "its helpers, lingering, are never signalled and never taken for a browser";
      }
      if (helper) {
        EXPECT_TRUE(processIsAlive(helper->pid())) << "no browser of its own to end with";
        EXPECT_EQ(browsers.count("TERM", helper->pid()), 0);
      } else {
        expectProcessesEnd(oldProcesses);  // of the old bundle
      }
      EXPECT_EQ(browsers.start(newPid).executable, destination / "Contents/MacOS" / browserName);
      EXPECT_TRUE(processIsAlive(newPid));
      EXPECT_NE(inodeOf(destination), oldInode) << "the installed bundle was not replaced";
      EXPECT_EQ(infoString(destination, "CFBundleShortVersionString"), PROJECT_VERSION);
      EXPECT_TRUE(bundleVerifies(destination));
      EXPECT_EQ(stagingFolders(destination.parent_path()), std::vector<fs::path>{});
    });
  }
}

}  // namespace
}  // namespace e2e
