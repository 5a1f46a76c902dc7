// Dock tiles of copies that went to the Trash disappear, however their URL
// spells the location; every other tile stays as it was, in its place, and
// the running Dock is told once to reload.

#include <gtest/gtest.h>

#include <thread>

#include "dock_preferences.h"
#include "harness.h"
#include "installation_steps.h"
#include "trash_contents.h"

namespace e2e {
namespace {

std::string array(const std::vector<std::string>& tiles) {
  std::string xml = "<array>";
  for (const std::string& tile : tiles) xml += tile;
  return xml + "</array>";
}

TEST(DockTiles, ThoseOfRetiredCopiesGoAndTheDockReloadsOnce) {
  Sandbox sandbox;
  const fs::path apps = sandbox.path("apps");
  const fs::path destination = makeBundle(apps / browserBundle, {.version = std::string("2.0")});
  const fs::path source = makeBundle(sandbox.path("new") / browserBundle);
  const std::string name12 = std::string(browserName) + " 1.2.app";
  const std::string name20 = std::string(browserName) + " 2.0.app";
  const std::string name10 = std::string(browserName) + " 10.app";
  makeBundle(apps / name12, {.version = std::string("1.2")});
  makeBundle(apps / name20, {.version = std::string("2.0")});
  makeBundle(apps / name10, {.version = std::string("10")});
  fs::create_directory_symlink(apps, sandbox.path("apps-link"));

  // As the Dock spells it: every byte outside ASCII letters and digits
  // escaped, and a folder's trailing slash.
  const std::string retired12 = applicationTile(fileURLString(apps / name12), "1.2");
  ASSERT_NE(retired12.find("Quorvane%E6%B5%8F%E8%A7%88%E5%99%A8%201.2.app/"), std::string::npos);
  // Reached through a linked folder, without the slash.
  const std::string retired20 =
      applicationTile(fileURLString(sandbox.path("apps-link") / name20, false), "2.0");
  const std::vector<std::string> keptPersistent = {
      applicationTile(fileURLString(sandbox.path("system/Other.app")), "Other"),
      "<dict><key>tile-type</key><string>spacer-tile</string></dict>",
      "<dict><key>tile-data</key><dict><key>file-label</key><string>no file data</string></dict></dict>",
      "<dict><key>tile-data</key><dict><key>file-data</key><dict><key>_CFURLStringType</key>"
      "<integer>15</integer></dict></dict></dict>",
      "<dict><key>tile-data</key><string>not a dictionary</string></dict>",
      "<dict><key>tile-data</key><dict><key>file-data</key><dict><key>_CFURLString</key>"
      "<integer>12</integer></dict></dict></dict>",
      applicationTile("http://localhost" + fileURLString(apps / name12).substr(7), "web"),
      applicationTile("not a URL at all", "text"),
      applicationTile(fileURLString(apps / name10), "newer"),
      applicationTile(fileURLString(destination), "installed"),
  };
  std::vector<std::string> persistent = keptPersistent;
  persistent.insert(persistent.begin() + 1, retired12);
  const std::string keptRecent = applicationTile(fileURLString(sandbox.path("system/Notes.app")), "Notes");
  const fs::path dockFile = dockPreferencesFile(sandbox.configHome());
  writeDockPreferences(dockFile, {{"persistent-apps", array(persistent)},
                                  {"recent-apps", array({retired20, keptRecent})},
                                  {"tilesize", "<integer>48</integer>"}});

  const fs::path dockRecord = sandbox.path("dock-record");
  const fs::path dockBundle = makeBundle(sandbox.path("system/Dock.app"),
                                         {.identifier = "com.apple.dock", .executableName = "Dock",
                                          .record = dockRecord, .seal = false});
  BrowserProcess dock = BrowserProcess::start(sandbox, dockBundle);
  BrowserRecord(dockRecord).waitForStarts(1);

  InstallerRun run = InstallerRun::start(
      sandbox, {.arguments = {"--source", source.string(), "--destination", destination.string(),
                              "--current-app", destination.string()}});
  acceptConfirmation(run);
  expectQuietSuccess(run);

  auto trash = trashedItems(sandbox.dataHome() / "Trash");
  EXPECT_TRUE(trash.contains(apps / name12));
  EXPECT_TRUE(trash.contains(apps / name20));
  EXPECT_FALSE(trash.contains(apps / name10));

  EXPECT_EQ(dockPreference(dockFile, "persistent-apps"),
            std::optional<std::string>(renderedValue(array(keptPersistent))));
  EXPECT_EQ(dockPreference(dockFile, "recent-apps"),
            std::optional<std::string>(renderedValue(array({keptRecent}))));
  EXPECT_EQ(dockPreference(dockFile, "tilesize"), std::optional<std::string>("48"));

  BrowserRecord dockEvents(dockRecord);
  EXPECT_TRUE(dockEvents.waitForEvent("HUP", dock.pid(), std::chrono::seconds(5)));
  // A second signal sent right after the first may merge with it (at most
  // one SIGHUP is ever pending); one sent later would show here.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(dockEvents.count("HUP", dock.pid()), 1);
  EXPECT_FALSE(dock.hasEnded()) << "the Dock did not survive its reload";
}

}  // namespace
}  // namespace e2e
