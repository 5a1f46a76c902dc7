// What the retirement scenarios rely on in the harness itself: a stand-in
// Dock counts its reloads and survives them, Dock URLs are spelt as the Dock
// spells them, and tiles compare by value, not by layout.

#include <gtest/gtest.h>
#include <signal.h>

#include "dock_preferences.h"
#include "harness.h"
#include "trash_contents.h"

namespace e2e {
namespace {

TEST(RetirementHarness, AStandInDockNotesEveryHangUpAndKeepsRunning) {
  Sandbox sandbox;
  fs::path record = sandbox.path("dock-record");
  BrowserProcess dock = BrowserProcess::start(
      sandbox, makeBundle(sandbox.path("system/Dock.app"),
                          {.identifier = "com.apple.dock", .executableName = "Dock",
                           .record = record, .seal = false}));
  BrowserRecord events(record);
  events.waitForStarts(1);
  // One at a time: the kernel keeps at most one SIGHUP pending, so two sent
  // at once may arrive as one.
  dock.sendSignal(SIGHUP);
  EXPECT_TRUE(waitUntil([&] { return events.count("HUP", dock.pid()) == 1; }));
  dock.sendSignal(SIGHUP);
  EXPECT_TRUE(waitUntil([&] { return events.count("HUP", dock.pid()) == 2; }));
  EXPECT_FALSE(dock.hasEnded());
  dock.sendSignal(SIGTERM);
  EXPECT_EQ(dock.waitForExit(), std::optional<int>(0));
}

TEST(RetirementHarness, FileURLsArePercentEncodedAndDecodeToTheirPath) {
  const fs::path path = "/Applications/Quorvane浏览器 1.2.app";
  EXPECT_EQ(fileURLString(path), "file:///Applications/Quorvane%E6%B5%8F%E8%A7%88%E5%99%A8%201.2.app/");
  EXPECT_EQ(fileURLString(path, false), "file:///Applications/Quorvane%E6%B5%8F%E8%A7%88%E5%99%A8%201.2.app");
  EXPECT_EQ(percentDecoded(fileURLString(path, false).substr(7)), path.string());
  EXPECT_THROW(percentDecoded("a%4"), HarnessError);
  EXPECT_THROW(percentDecoded("a%zz"), HarnessError);
}

TEST(RetirementHarness, StoredTilesCompareByValueWhateverTheirKeyOrder) {
  Sandbox sandbox;
  const fs::path file = dockPreferencesFile(sandbox.configHome());
  const std::string tile = applicationTile("file:///Applications/A.app/", "A");
  writeDockPreferences(file, {{"persistent-apps", "<array>" + tile + "</array>"}});
  EXPECT_EQ(dockPreference(file, "persistent-apps"),
            std::optional<std::string>(renderedValue("<array>" + tile + "</array>")));
  EXPECT_EQ(renderedValue("<dict><key>b</key><integer>2</integer><key>a</key><string>x</string></dict>"),
            renderedValue("<dict><key>a</key><string>x</string><key>b</key><integer>2</integer></dict>"));
  EXPECT_NE(renderedValue("<array><string>a</string><string>b</string></array>"),
            renderedValue("<array><string>b</string><string>a</string></array>"));
  EXPECT_EQ(dockPreference(file, "recent-apps"), std::nullopt);
}

}  // namespace
}  // namespace e2e
