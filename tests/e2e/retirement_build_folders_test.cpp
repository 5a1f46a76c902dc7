// Builds leave copies of the browser in folders of /tmp. An installation into
// the user's own Applications folder retires the older ones found in private
// build folders (the user's, not writable by group or others) and their known
// subfolders; nothing else in /tmp is looked at, and an installation
// elsewhere leaves them all alone.
//
// The installer sees a /tmp of the test's own making (TemporaryFolderView).

#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "harness.h"
#include "installation_steps.h"
#include "temporary_folder_view.h"
#include "trash_contents.h"

namespace e2e {
namespace {

std::string named(std::string_view suffix) { return std::string(browserName) + std::string(suffix); }

/// A folder made with exactly `mode`, whatever the umask.
fs::path folder(const fs::path& path, unsigned mode) {
  fs::create_directories(path);
  fs::permissions(path, fs::perms(mode));
  return path;
}

fs::path oldCopy(const fs::path& at, const std::string& version = "1.0") {
  return makeBundle(at, {.version = version});
}

struct BuildCopy {
  const char* why;
  fs::path location;  ///< where the test made it
  bool retired;       ///< by an installation into ~/Applications
};

/// Build folders and copies in the view's /tmp; answers every copy made.
std::vector<BuildCopy> stageBuildFolders(const Sandbox& sandbox, TemporaryFolderView& tmp) {
  std::vector<BuildCopy> copies;
  auto add = [&](const char* why, const fs::path& location, bool retired, const std::string& version) {
    copies.push_back({why, oldCopy(location, version), retired});
  };

  const fs::path browser = folder(tmp.entry("qrvx-browser-e2e"), 0755);
  add("directly in a private build folder", browser / named(" 1.0.app"), true, "1.0");
  add("in an unknown subfolder", folder(browser / "debug", 0755) / browserBundle, false, "1.0");
  add("two levels down", folder(browser / "release/x", 0755) / browserBundle, false, "1.0");
  add("of the version being installed", browser / named(" 2.1.0.app"), false, PROJECT_VERSION);

  const fs::path cef = folder(tmp.entry("qrvx-cef-e2e"), 0755);
  add("in a private release subfolder", folder(cef / "release", 0755) / browserBundle, true, "1.5");
  add("in a group-writable candidate subfolder", folder(cef / "candidate", 0775) / browserBundle,
      false, "1.5");

  const fs::path compact = folder(tmp.entry("qrvx-home-compact.e2e"), 0755);
  add("in a private compact-home build folder", compact / named(" 2.0.app"), true, "2.0");

  const fs::path open = folder(tmp.entry("qrvx-browser-open"), 0775);
  add("in a group-writable build folder", open / browserBundle, false, "1.0");
  add("below a group-writable build folder", folder(open / "release", 0755) / browserBundle, false,
      "1.0");

  const fs::path target = folder(sandbox.path("elsewhere/build"), 0755);
  add("behind a link named like a build folder", target / browserBundle, false, "1.0");
  fs::create_directory_symlink(tmp.seen(target), tmp.entry("qrvx-browser-link"));

  const fs::path nested = folder(tmp.entry("qrvx-browser-e2e.app"), 0755);
  add("in a build folder named like a bundle", nested / named(" 1.0.app"), false, "1.0");

  const fs::path unprefixed = folder(tmp.entry("qrvx-home-compact"), 0755);
  add("in a folder without the prefix's full stop", unprefixed / browserBundle, false, "1.0");
  return copies;
}

/// Installs over an older copy at `destination`, the installer seeing the
/// view's /tmp, and expects a quiet success.
void install(const Sandbox& sandbox, TemporaryFolderView& tmp, const fs::path& destination) {
  makeBundle(destination, {.version = std::string("2.0")});
  const fs::path record = sandbox.path("new-record");
  const fs::path source =
      makeBundle(sandbox.path("new") / browserBundle, {.record = tmp.seen(record)});
  const std::string seenDestination = tmp.seen(destination).string();
  InstallerRun run = InstallerRun::start(
      sandbox, {.arguments = {"--source", tmp.seen(source).string(), "--destination",
                              seenDestination, "--current-app", seenDestination},
                .extraEnvironment = tmp.environment(),
                .installerBundle = tmp.installerBundle()});
  Alert confirmation = run.waitForAlert();
  tmp.holdNamespaceOf(run);
  EXPECT_EQ(confirmation.buttons.at(0), "安装");
  run.press(returnKey);
  expectQuietSuccess(run);
  EXPECT_EQ(BrowserRecord(record).waitForStarts(1).executable,
            tmp.seen(destination) / "Contents/MacOS" / browserName);
}

TEST(BuildFolders, PrivateOnesAreSearchedForAnInstallationInTheUsersApplications) {
  Sandbox sandbox;
  TemporaryFolderView tmp(sandbox);
  if (tmp.unusableReason()) GTEST_SKIP() << *tmp.unusableReason();
  std::vector<BuildCopy> copies = stageBuildFolders(sandbox, tmp);
  std::map<fs::path, ino_t> inodes;
  for (const BuildCopy& copy : copies) inodes[copy.location] = inodeOf(copy.location);

  install(sandbox, tmp, sandbox.applicationsFolder() / browserBundle);

  auto trash = trashedItems(sandbox.dataHome() / "Trash");
  std::size_t retired = 0;
  for (const BuildCopy& copy : copies) {
    SCOPED_TRACE(std::string(copy.why) + ": " + copy.location.string());
    const fs::path seen = tmp.seenEntry(copy.location);
    if (copy.retired) {
      ++retired;
      ASSERT_TRUE(trash.contains(seen)) << "not in the Trash";
      EXPECT_EQ(inodeOf(trash.at(seen).file), inodes.at(copy.location));
    } else {
      EXPECT_FALSE(trash.contains(seen)) << "moved to the Trash";
      EXPECT_EQ(inodeOf(copy.location), inodes.at(copy.location));
    }
  }
  // Besides them, only the replaced bundle.
  EXPECT_EQ(trash.size(), retired + 1);
}

TEST(BuildFolders, AreLeftAloneForAnInstallationElsewhere) {
  Sandbox sandbox;
  TemporaryFolderView tmp(sandbox);
  if (tmp.unusableReason()) GTEST_SKIP() << *tmp.unusableReason();
  const fs::path build = folder(tmp.entry("qrvx-browser-e2e"), 0755);
  oldCopy(build / named(" 1.0.app"));
  oldCopy(folder(build / "release", 0755) / browserBundle);
  const TreeSnapshot before = snapshotTree(build);

  install(sandbox, tmp, sandbox.path("apps") / browserBundle);

  EXPECT_EQ(treeDifferences(before, snapshotTree(build)), "");
  EXPECT_EQ(trashedItems(sandbox.dataHome() / "Trash").size(), 1u) << "only the replaced bundle";
}

}  // namespace
}  // namespace e2e
