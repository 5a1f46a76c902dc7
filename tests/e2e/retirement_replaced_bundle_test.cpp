// After an update, the bundle it replaced leaves the installation: it goes to
// the user's Trash, restorable from there, and the hidden staging folder it
// passed through goes away. When the Trash refuses it, the staging folder is
// kept as its home and the final alert names it; a failing registration tool
// does not keep anything from the Trash.

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "dock_preferences.h"
#include "harness.h"
#include "installation_steps.h"
#include "launch_registry.h"
#include "trash_contents.h"

namespace e2e {
namespace {

const std::string installedVersion = "2.0";

/// An older copy installed in apps/, the new version ready in new/.
struct Update {
  fs::path apps;
  fs::path destination;
  fs::path source;
  fs::path newRecord;
  ino_t installedInode = 0;

  /// Naming the installed copy as the current one keeps the installer from
  /// taking a browser that another test runs meanwhile for the one to quit.
  std::vector<std::string> arguments() const {
    return {"--source", source.string(), "--destination", destination.string(), "--current-app",
            destination.string()};
  }
};

Update stageUpdate(const Sandbox& sandbox, std::optional<fs::path> installedRecord = {}) {
  Update update;
  update.apps = sandbox.path("apps");
  update.destination = makeBundle(update.apps / browserBundle,
                                  {.version = installedVersion, .record = installedRecord});
  update.newRecord = sandbox.path("new-record");
  update.source = makeBundle(sandbox.path("new") / browserBundle, {.record = update.newRecord});
  update.installedInode = inodeOf(update.destination);
  return update;
}

fs::path trashOf(const Sandbox& sandbox) { return sandbox.dataHome() / "Trash"; }

std::vector<std::string> sorted(std::vector<std::string> lines) {
  std::sort(lines.begin(), lines.end());
  return lines;
}

/// The new version runs from the destination.
void expectNewBrowserRunning(const Update& update) {
  BrowserStart start = BrowserRecord(update.newRecord).waitForStarts(1);
  EXPECT_EQ(start.executable, update.destination / "Contents/MacOS" / browserName);
  EXPECT_EQ(infoString(update.destination, "CFBundleShortVersionString"),
            std::optional<std::string>(PROJECT_VERSION));
}

/// Where the replaced bundle lay when it was retired: inside a staging
/// folder next to the destination, under the browser's bundle name.
void expectStagedLocation(const Update& update, const fs::path& location) {
  EXPECT_EQ(location.filename(), browserBundle) << location;
  EXPECT_EQ(location.parent_path().parent_path(), update.apps) << location;
  EXPECT_TRUE(isStagingFolderName(location.parent_path().filename().string())) << location;
}

TEST(ReplacedBundle, GoesToTheTrashAndTheStagingFolderAway) {
  Sandbox sandbox;
  fs::path oldRecord = sandbox.path("old-record");
  Update update = stageUpdate(sandbox, oldRecord);
  BrowserProcess oldBrowser = BrowserProcess::start(sandbox, update.destination);
  BrowserRecord(oldRecord).waitForStarts(1);
  registerBundle(sandbox, update.destination);

  // The Dock keeps a tile of the installed location, which now holds the new
  // version: it stays, and the Dock is not disturbed.
  fs::path dockRecord = sandbox.path("dock-record");
  fs::path dockBundle = makeBundle(sandbox.path("system/Dock.app"),
                                   {.identifier = "com.apple.dock", .executableName = "Dock",
                                    .record = dockRecord, .seal = false});
  BrowserProcess dock = BrowserProcess::start(sandbox, dockBundle);
  BrowserRecord(dockRecord).waitForStarts(1);
  fs::path dockFile = dockPreferencesFile(sandbox.configHome());
  writeDockPreferences(dockFile, {{"persistent-apps", "<array>" +
                                   applicationTile(fileURLString(update.destination), "Quorvane") +
                                   "</array>"}});
  const std::string dockBefore = readFile(dockFile);

  InstallerRun run = InstallerRun::start(sandbox, {.arguments = update.arguments()});
  acceptConfirmation(run);
  expectQuietSuccess(run);

  EXPECT_EQ(oldBrowser.waitForExit(), std::optional<int>(0)) << "the old browser was not quit";
  expectNewBrowserRunning(update);

  auto trash = trashedItems(trashOf(sandbox));
  ASSERT_EQ(trash.size(), 1u);
  const auto& [original, item] = *trash.begin();
  expectStagedLocation(update, original);
  EXPECT_EQ(inodeOf(item.file), update.installedInode) << "not the replaced bundle";
  EXPECT_EQ(infoString(item.file, "CFBundleShortVersionString"),
            std::optional<std::string>(installedVersion));
  EXPECT_TRUE(bundleVerifies(item.file)) << "the trashed copy was changed";
  EXPECT_FALSE(item.deletionDate.empty());
  EXPECT_TRUE(stagingFolders(update.apps).empty());

  // The staging path was withdrawn; the destination's entry starts the new version.
  EXPECT_EQ(registeredBundles(sandbox), std::vector<std::string>{update.destination.string()});
  expectDesktopEntry(sandbox, update.destination);

  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(readFile(dockFile), dockBefore);
  EXPECT_EQ(BrowserRecord(dockRecord).count("HUP", dock.pid()), 0);
}

TEST(ReplacedBundle, StaysInTheKeptStagingFolderWhenTheTrashRefusesIt) {
  Sandbox sandbox;
  Update update = stageUpdate(sandbox);
  fs::path older = makeBundle(update.apps / (std::string(browserName) + " 1.0.app"),
                              {.version = std::string("1.0")});
  registerBundle(sandbox, older);
  // GIO puts what lies under HOME into the home trash and nowhere else; it
  // cannot make that trash where a file stands. (Permission bits would not
  // stop a test that runs as root.)
  writeFile(trashOf(sandbox), "not a folder\n");

  InstallerRun run = InstallerRun::start(sandbox, {.arguments = update.arguments()});
  acceptConfirmation(run);
  Alert report = run.waitForAlert();
  std::vector<fs::path> kept = stagingFolders(update.apps);
  ASSERT_EQ(kept.size(), 1u) << "while the report is open";
  const fs::path keptBundle = kept[0] / browserBundle;
  EXPECT_EQ(report.messageText, "新版已安装");
  EXPECT_EQ(report.informativeText,
            "以下旧应用暂未能移到废纸篓。\n" + keptBundle.string() + "\n" + older.string());
  EXPECT_EQ(report.buttons, std::vector<std::string>{std::string(defaultButtonTitle)});
  EXPECT_EQ(report.defaultButton, std::optional<std::size_t>(0));
  EXPECT_EQ(report.standardErrorBefore, "");
  run.press(returnKey);
  RunResult result = run.finish();
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.standardError, "");
  EXPECT_EQ(result.standardOutput, "");
  EXPECT_EQ(countAlerts(result.terminal), 2u) << visible(result.terminal);
  EXPECT_TRUE(result.terminalRestored);

  expectNewBrowserRunning(update);
  expectStagedLocation(update, keptBundle);
  EXPECT_EQ(stagingFolders(update.apps), kept);
  EXPECT_EQ(inodeOf(keptBundle), update.installedInode);
  EXPECT_TRUE(bundleVerifies(keptBundle));
  EXPECT_TRUE(bundleVerifies(older));
  EXPECT_EQ(readFile(trashOf(sandbox)), "not a folder\n");
  // Both withdrawn; only the one registered before is registered again after
  // the failed move (the kept bundle never was, at its staging path); the
  // destination once opened.
  EXPECT_EQ(sorted(registeredBundles(sandbox)),
            sorted({older.string(), update.destination.string()}));

  // With the Trash back, the next installation puts the kept bundle there
  // under its own name; a link named like a staging folder is not followed.
  fs::remove(trashOf(sandbox));
  sandbox.killProcessesInside();
  const fs::path link = update.apps / ".qrvx-update-00000000-0000-0000-0000-00000000000A";
  fs::create_directory_symlink(update.source.parent_path(), link);
  InstallerRun next = InstallerRun::start(sandbox, {.arguments = update.arguments()});
  acceptConfirmation(next);
  EXPECT_EQ(next.waitForAlert().informativeText,
            "上次中断的安装留下的以下副本已移到废纸篓。\n" + keptBundle.string());
  next.press(returnKey);
  EXPECT_EQ(next.finish().exitStatus, 0);
  auto trash = trashedItems(trashOf(sandbox));
  ASSERT_TRUE(trash.contains(keptBundle));
  EXPECT_EQ(trash.at(keptBundle).file.filename(), browserBundle);
  EXPECT_EQ(inodeOf(trash.at(keptBundle).file), update.installedInode);
  EXPECT_EQ(stagingFolders(update.apps), std::vector<fs::path>{link});
  EXPECT_TRUE(bundleVerifies(update.source));
}

TEST(ReplacedBundle, GoesToTheTrashWhenTheRegistrationToolFails) {
  Sandbox sandbox;
  Update update = stageUpdate(sandbox);
  fs::path older = makeBundle(update.apps / (std::string(browserName) + " 1.0.app"),
                              {.version = std::string("1.0")});
  fs::path installer = copyInstallerBundle(sandbox.path("installer/QuorvaneInstaller.app"));
  fs::path calls = sandbox.path("lsregister-calls");
  replaceHelper(installer, "lsregister",
                "#!/bin/sh\nprintf '%s %s\\n' \"$1\" \"$2\" >> '" + calls.string() + "'\nexit 1\n");

  InstallerRun run = InstallerRun::start(
      sandbox, {.arguments = update.arguments(), .installerBundle = installer});
  acceptConfirmation(run);
  expectQuietSuccess(run);
  expectNewBrowserRunning(update);

  auto trash = trashedItems(trashOf(sandbox));
  ASSERT_EQ(trash.size(), 2u);
  ASSERT_TRUE(trash.contains(older));
  fs::path staged;
  for (const auto& [original, item] : trash) {
    if (original == older) continue;
    staged = original;
    expectStagedLocation(update, original);
    EXPECT_EQ(inodeOf(item.file), update.installedInode);
  }
  EXPECT_TRUE(stagingFolders(update.apps).empty());
  // Each withdrawn once, and nothing registered again after a move that worked.
  EXPECT_EQ(readFile(calls), "-u " + staged.string() + "\n-u " + older.string() + "\n");
}

}  // namespace
}  // namespace e2e
