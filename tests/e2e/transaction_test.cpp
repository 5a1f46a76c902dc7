// The transaction seen from outside: what a confirmed installation starts,
// and what is left when the new browser will not start, the old one will not
// quit or another installer holds the lock.

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "failure_report.h"
#include "harness.h"
#include "installation_steps.h"

namespace e2e {
namespace {

/// Naming the installed copy as the current one keeps these runs from taking
/// a browser that another test runs meanwhile for the one to quit.
std::vector<std::string> updateArguments(const fs::path& source, const fs::path& destination) {
  return {"--source", source.string(), "--destination", destination.string(), "--current-app",
          destination.string()};
}

/// Starts the old browser from `destination` and runs the update from
/// `source`, confirmed, to the failure alert with `description`; answers the
/// old browser.
BrowserProcess failedUpdateOverRunningBrowser(const Sandbox& sandbox, const fs::path& source,
                                              const fs::path& destination,
                                              const fs::path& oldRecord,
                                              const std::string& description) {
  BrowserProcess old = BrowserProcess::start(sandbox, destination);
  BrowserRecord(oldRecord).waitForStarts(1);
  InstallerRun run = InstallerRun::start(sandbox, {.arguments = updateArguments(source, destination)});
  acceptConfirmation(run);
  expectFailureAfterConfirmation(run, description);
  return old;
}

TEST(Transaction, ANewBrowserThatDoesNotStartPutsTheOldOneBack) {
  struct FailedStart {
    const char* name;
    FixtureMode newMode;
    FixtureProcesses processes;
  };
  for (const FailedStart& testCase :
       {FailedStart{"a new browser that exits at once", FixtureMode::exit,
                    FixtureProcesses::single},
        FailedStart{"a browser that crashes after a second, its helpers lingering 3 s",
                    FixtureMode::crash, FixtureProcesses::chromium}}) {
    SCOPED_TRACE(testCase.name);
    runCase([&] {
      Sandbox sandbox;
      const fs::path oldRecord = sandbox.path("old-record");
      const fs::path newRecord = sandbox.path("new-record");
      const fs::path destination = makeBundle(
          sandbox.path("apps") / browserBundle,
          {.version = std::string("2.0"), .processes = testCase.processes, .record = oldRecord});
      const fs::path source =
          makeBundle(sandbox.path("new") / browserBundle, {.mode = testCase.newMode,
                                                           .processes = testCase.processes,
                                                           .crashHandler = true,
                                                           .lingerMilliseconds = 3000,
                                                           .record = newRecord});
      const ino_t installed = inodeOf(destination);
      BrowserProcess old = failedUpdateOverRunningBrowser(
          sandbox, source, destination, oldRecord,
          "未完成安装，旧版仍在原位置。\n浏览器启动未完成或启动时退出。");

      EXPECT_EQ(old.waitForExit(), std::optional<int>(0)) << "the old browser was not quit first";
      EXPECT_EQ(inodeOf(destination), installed) << "the old bundle is not back in place";
      BrowserRecord(oldRecord).waitForStarts(2);  // started again from the destination
      EXPECT_TRUE(stagingFolders(destination.parent_path()).empty());
      // Only the old main process was asked to quit; the crashed browser's
      // helpers, outliving it, were never taken for it: not accepted, and
      // nothing for the rollback to quit.
      EXPECT_EQ(BrowserRecord(oldRecord).noting("TERM"), std::vector<pid_t>{old.pid()});
      EXPECT_EQ(BrowserRecord(newRecord).noting("TERM"), std::vector<pid_t>{});
      expectProcessesEnd(BrowserRecord(newRecord).noting("SPAWN"));
    });
  }
}

TEST(Transaction, AFreshInstallationWhoseBrowserExitsAtOnceLeavesTheDestinationEmpty) {
  Sandbox sandbox;
  const fs::path apps = sandbox.path("apps");
  fs::create_directories(apps);
  const fs::path destination = apps / browserBundle;
  const fs::path source =
      makeBundle(sandbox.path("new") / browserBundle, {.mode = FixtureMode::exit});

  InstallerRun run = InstallerRun::start(
      sandbox, {.arguments = {"--source", source.string(), "--destination", destination.string()}});
  acceptConfirmation(run);
  expectFailureAfterConfirmation(run, "未完成安装，旧版仍在原位置。\n浏览器启动未完成或启动时退出。");

  EXPECT_FALSE(fs::exists(fs::symlink_status(destination))) << "the new bundle stayed installed";
  EXPECT_TRUE(fs::is_empty(apps)) << "the staging directory or the bundle stayed behind";
  EXPECT_TRUE(bundleVerifies(source)) << "the source was touched";
}

TEST(Transaction, AnOldBrowserThatWillNotQuitCancelsWithNothingChanged) {
  Sandbox sandbox;
  const fs::path oldRecord = sandbox.path("old-record");
  const fs::path destination =
      makeBundle(sandbox.path("apps") / browserBundle,
                 {.version = std::string("2.0"), .mode = FixtureMode::ignoreTerm, .record = oldRecord});
  const fs::path source = makeBundle(sandbox.path("new") / browserBundle);
  const ino_t installed = inodeOf(destination);
  BrowserProcess old = failedUpdateOverRunningBrowser(
      sandbox, source, destination, oldRecord,
      "旧浏览器尚未正常退出，安装已取消。请完成浏览器中的操作后重试。");

  EXPECT_EQ(BrowserRecord(oldRecord).count("TERM", old.pid()), 1) << "asked once, never forced";
  EXPECT_FALSE(old.waitForExit(std::chrono::milliseconds(200))) << "the old browser was ended";
  EXPECT_EQ(inodeOf(destination), installed);
  EXPECT_TRUE(stagingFolders(destination.parent_path()).empty());
}

TEST(Transaction, ASecondInstallerIsRefusedWhileTheLockIsHeld) {
  Sandbox sandbox;
  const fs::path source = makeBundle(sandbox.path("new") / browserBundle);
  const fs::path apps = sandbox.path("apps");
  fs::create_directories(apps);
  const fs::path destination = apps / browserBundle;
  int held = open(apps.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);

  InstallerRun run = InstallerRun::start(
      sandbox, {.arguments = {"--source", source.string(), "--destination", destination.string()}});
  acceptConfirmation(run);
  expectFailureAfterConfirmation(run, "另一个安装程序正在运行。");
  close(held);
  EXPECT_FALSE(fs::exists(destination));
  EXPECT_TRUE(stagingFolders(apps).empty());
}

}  // namespace
}  // namespace e2e
