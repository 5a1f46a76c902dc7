#include <gtest/gtest.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <tuple>

#include "platform/backend.h"
#include "platform/host/host.h"
#include "platform/platform_error.h"
#include "tests/platform/host_test_folder.h"

namespace installer::host {
namespace {

using fixtures::ScopedVariable;
using fixtures::TemporaryFolder;
namespace fs = std::filesystem;

FileURL at(const std::string& path) { return FileURL::fromAbsolutePath(path); }

unsigned modeOf(const std::string& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) return 0;
  return status.st_mode & 07777;
}

/// The description of the PlatformError `operation` throws, or nothing.
template <typename Operation>
std::optional<std::string> failureOf(Operation operation) {
  try {
    operation();
  } catch (const PlatformError& error) {
    return std::string(error.what());
  }
  return std::nullopt;
}

TEST(HostFileManagerTest, CreatedDirectoryGetsExactlyTheRequestedPermissions) {
  TemporaryFolder folder;
  struct Case {
    mode_t umask;
    bool intermediates;
    unsigned permissions;
  };
  const std::vector<Case> cases = {
      {022, false, 0700}, {077, false, 0700}, {022, true, 0700},
      {077, true, 0700},  {077, false, 0755}, {0, false, 0700},
  };
  int index = 0;
  for (const Case& c : cases) {
    const std::string path = folder / ("d" + std::to_string(index++)) + "/inner";
    if (!c.intermediates) fs::create_directory(fs::path(path).parent_path());
    mode_t previous = ::umask(c.umask);
    HostFileManager().createDirectory(at(path), c.intermediates, c.permissions);
    ::umask(previous);
    EXPECT_EQ(modeOf(path), c.permissions) << path << " umask " << c.umask;
    if (c.intermediates) {
      // Only the directory asked for gets the permissions.
      EXPECT_EQ(modeOf(fs::path(path).parent_path()), 0777u & ~c.umask) << path;
    }
  }
}

TEST(HostFileManagerTest, CreateDirectoryTreatsExistingItemsAsTheFlagSays) {
  TemporaryFolder folder;
  fs::create_directory(folder / "existing");
  ::chmod((folder / "existing").c_str(), 0755);
  fixtures::writeFile(folder / "file", "x");
  HostFileManager files;

  files.createDirectory(at(folder / "existing"), true, 0700);
  EXPECT_EQ(modeOf(folder / "existing"), 0755u) << "an existing directory keeps its mode";
  files.createDirectory(at(folder / "a/b/c"), true, std::nullopt);
  EXPECT_TRUE(fs::is_directory(folder / "a/b/c"));

  const std::vector<std::pair<std::function<void()>, std::string>> failures = {
      {[&] { files.createDirectory(at(folder / "existing"), false, std::nullopt); },
       "Could not create directory " + folder / "existing" + ": File exists"},
      {[&] { files.createDirectory(at(folder / "file"), true, std::nullopt); },
       "Could not create directory " + folder / "file" + ": File exists"},
      {[&] { files.createDirectory(at(folder / "file/below"), true, std::nullopt); },
       "Could not create directory " + folder / "file/below" + ": Not a directory"},
      {[&] { files.createDirectory(at(folder / "missing/below"), false, std::nullopt); },
       "Could not create directory " + folder / "missing/below" + ": No such file or directory"},
  };
  for (const auto& [operation, description] : failures) {
    EXPECT_EQ(failureOf(operation), description);
  }
}

TEST(HostFileManagerTest, MoveNeverReplacesAnything) {
  TemporaryFolder folder;
  fixtures::writeFile(folder / "source", "new");
  fixtures::writeFile(folder / "file", "old");
  fs::create_directory(folder / "directory");
  HostFileManager files;

  for (const std::string target : {"file", "directory"}) {
    std::optional<std::string> failure =
        failureOf([&] { files.moveItem(at(folder / "source"), at(folder / target)); });
    EXPECT_EQ(failure,
              "Could not move " + folder / "source" + " to " + folder / target + ": File exists");
  }
  EXPECT_EQ(fixtures::readFile(folder / "file"), "old");
  EXPECT_TRUE(fs::is_directory(folder / "directory"));

  files.moveItem(at(folder / "source"), at(folder / "moved"));
  EXPECT_EQ(fixtures::readFile(folder / "moved"), "new");
  EXPECT_FALSE(fs::exists(folder / "source"));
}

TEST(HostFileManagerTest, FlushesNameWhatCouldNotBeFlushed) {
  TemporaryFolder folder;
  fs::create_directory(folder / "tree");
  fixtures::writeFile(folder / "tree/file", "data");
  HostDurability durability;
  durability.flushTree(at(folder / "tree"));
  durability.flushDirectories({at(folder.path()), at(folder / "tree")});
  EXPECT_EQ(failureOf([&] { durability.flushTree(at(folder / "missing")); }),
            "Could not flush " + folder / "missing" + ": No such file or directory");
  EXPECT_EQ(failureOf([&] {
              durability.flushDirectories({at(folder.path()), at(folder / "tree/file")});
            }),
            "Could not flush directory " + folder / "tree/file" + ": Not a directory");
}

TEST(HostFileManagerTest, RemoveTakesTheTreeButNeverFollowsLinks) {
  TemporaryFolder folder;
  fs::create_directories(folder / "outside/kept");
  fixtures::writeFile(folder / "outside/kept/file", "keep");
  fs::create_directories(folder / "tree/a/b/.hidden");
  fixtures::writeFile(folder / "tree/a/b/file", "x");
  fs::create_directory_symlink(folder / "outside", folder / "tree/a/link");
  fs::create_directory_symlink(folder / "outside", folder / "toplink");
  HostFileManager files;

  files.removeItem(at(folder / "tree"));
  EXPECT_FALSE(fs::exists(fs::symlink_status(folder / "tree")));
  files.removeItem(at(folder / "toplink"));
  EXPECT_FALSE(fs::exists(fs::symlink_status(folder / "toplink")));
  EXPECT_EQ(fixtures::readFile(folder / "outside/kept/file"), "keep");

  EXPECT_EQ(failureOf([&] { files.removeItem(at(folder / "tree")); }),
            "Could not remove " + folder / "tree" + ": No such file or directory");
}

// As the owner of the tree, not root: root passes every permission check.
const fixtures::ProbeRegistration ownerProbe("as-owner", [] {
  const std::string tree = std::getenv("QRVX_TREE");
  struct stat owner {};
  if (::lstat(tree.c_str(), &owner) != 0 ||
      (::getuid() == 0 && (::setgid(owner.st_gid) != 0 || ::setuid(owner.st_uid) != 0))) {
    return std::string("could not become the owner\n");
  }
  std::optional<std::string> failure =
      failureOf([&] { HostFileManager().removeQuarantine(at(tree + "/marked")); });
  const bool whole = HostPosix().visitTree(tree + "/walked", [](auto&, auto&) { return true; });
  return failure.value_or("removed") + "\n" + (whole ? "whole" : "unreadable") + "\n";
});

TEST(HostFileManagerTest, QuarantineGoesFromReadOnlyItemsAsTheirOwnerKeepingModes) {
  TemporaryFolder folder;
  const std::string tree = folder / "tree";
  fs::create_directories(tree + "/marked/Contents");
  fs::create_directories(tree + "/walked/locked");
  fixtures::writeFile(tree + "/marked/Contents/file", "x");
  fixtures::writeFile(tree + "/outside", "x");
  fs::create_symlink(tree + "/outside", tree + "/marked/link");
  const char* mark = "user.com.apple.quarantine";
  // Item, mode it carries, whether the mark must go.
  const std::vector<std::tuple<std::string, unsigned, bool>> items = {
      {tree + "/marked/Contents/file", 0444, true},
      {tree + "/marked/Contents", 0555, true},
      {tree + "/marked", 0755, true},
      {tree + "/outside", 0644, false},  // only a link inside points here
  };
  for (const auto& [item, mode, removed] : items) {
    ASSERT_EQ(::setxattr(item.c_str(), mark, "0083;", 5, 0), 0) << item;
  }
  const uid_t user = ::getuid() == 0 ? 65534 : ::getuid();
  const gid_t group = ::getuid() == 0 ? 65534 : ::getgid();
  for (const char* item : {"", "/marked", "/marked/Contents", "/marked/Contents/file",
                           "/marked/link", "/outside", "/walked", "/walked/locked"}) {
    ASSERT_EQ(::lchown((tree + item).c_str(), user, group), 0);
  }
  for (const auto& [item, mode, removed] : items) ::chmod(item.c_str(), mode);
  ::chmod((tree + "/walked/locked").c_str(), 0);
  ::chmod(folder.path().c_str(), 0711);

  EXPECT_EQ(fixtures::runProbe(fixtures::thisExecutable(), "as-owner", {{"QRVX_TREE", tree}},
                               tree + "/answer"),
            "removed\nunreadable\n");
  for (const auto& [item, mode, removed] : items) {
    EXPECT_EQ(::getxattr(item.c_str(), mark, nullptr, 0) < 0, removed) << item;
    EXPECT_EQ(modeOf(item), mode) << item;
  }
}

TEST(HostFileManagerTest, ContentsOfDirectoryListHiddenEntriesOnlyWhenAsked) {
  TemporaryFolder folder;
  for (const char* name : {"b.app", ".hidden", "a", ".DS_Store"}) {
    fixtures::writeFile(folder / name, "");
  }
  fs::create_directory(folder / "c");
  std::vector<FileURL> expected = {at(folder / "a"), at(folder / "b.app"), at(folder / "c")};
  EXPECT_EQ(HostFileManager().contentsOfDirectory(at(folder.path())), expected);
  expected.insert(expected.begin(), {at(folder / ".DS_Store"), at(folder / ".hidden")});
  EXPECT_EQ(HostFileManager().contentsOfDirectoryIncludingHidden(at(folder.path())), expected);

  EXPECT_EQ(failureOf([&] { HostFileManager().contentsOfDirectory(at(folder / "a")); }),
            "Could not list directory " + folder / "a" + ": Not a directory");
}

TEST(HostFileManagerTest, UserFoldersFollowTheEnvironment) {
  ScopedVariable home("HOME", "/home/someone");
  HostFileManager files;
  EXPECT_EQ(files.homeDirectory(), "/home/someone");
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"/data/home", "/data/home"},
      {"relative/data", "/home/someone/.local/share"},
      {"", "/home/someone/.local/share"},
      {nullptr, "/home/someone/.local/share"},
  };
  for (const auto& [dataHome, expected] : cases) {
    ScopedVariable variable("XDG_DATA_HOME", dataHome);
    EXPECT_EQ(files.applicationSupportDirectories(), std::vector<FileURL>{at(expected)})
        << (dataHome ? dataHome : "(unset)");
  }
  EXPECT_EQ(files.homeDirectoryOfUser("root"), "/root");
  EXPECT_EQ(files.homeDirectoryOfUser("no-such-user-qrvx"), std::nullopt);
  EXPECT_EQ(files.currentDirectoryPath(), fs::current_path().string());
}

// GIO reads the data folder once per process, so the Trash is exercised in a
// fresh process with its own HOME and XDG_DATA_HOME.
const fixtures::ProbeRegistration trashProbe("trash", [] {
  std::string item = std::getenv("QRVX_TRASH_ITEM");
  std::string answer;
  for (const std::string& path : {item, item + ".missing"}) {
    std::optional<std::string> failure = failureOf([&] { HostFileManager().trashItem(at(path)); });
    answer += failure.value_or("trashed") + "\n";
  }
  return answer;
});

// Unset at the backend's start, a relative folder variable cannot send GIO's
// Trash, or the launched browser, into the working folder.
const fixtures::ProbeRegistration backendProbe("backend", [] {
  backendServices();
  std::string answer;
  for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_DATA_DIRS"}) {
    const char* value = std::getenv(name);
    answer += std::string(name) + "=" + (value ? value : "(unset)") + "\n";
  }
  return answer;
});

TEST(HostFileManagerTest, RelativeFolderVariablesAreUnsetAtTheStart) {
  TemporaryFolder folder;
  std::string answer = fixtures::runProbe(fixtures::thisExecutable(), "backend",
                                          {{"XDG_DATA_HOME", "relative/data"},
                                           {"XDG_CONFIG_HOME", "/absolute/config"},
                                           {"XDG_DATA_DIRS", "share::/usr/share:local"}},
                                          folder / "answer");
  EXPECT_EQ(answer,
            "XDG_DATA_HOME=(unset)\nXDG_CONFIG_HOME=/absolute/config\n"
            "XDG_DATA_DIRS=/usr/share\n");
}

TEST(HostFileManagerTest, TrashMovesTheItemToTheHomeTrash) {
  TemporaryFolder folder;
  fs::create_directories(folder / "home");
  fs::create_directories(folder / "item.app/Contents");
  auto trash = [&folder] {
    return fixtures::runProbe(fixtures::thisExecutable(), "trash",
                              {{"HOME", folder / "home"},
                               {"XDG_DATA_HOME", folder / "data"},
                               {"QRVX_TRASH_ITEM", folder / "item.app"}},
                              folder / "answer");
  };
  // A Trash another user may write would hand them the item.
  fs::create_directories(folder / "data/Trash/info");
  fs::permissions(folder / "data/Trash/info", fs::perms::all);
  const std::string refused = trash();
  EXPECT_EQ(
      refused.substr(0, refused.find('\n')),
      "Could not move " + folder / "item.app" + " to the Trash: " +
          folder / "data/Trash/info is not a folder of this user that only this user may write");
  fs::permissions(folder / "data/Trash/info", fs::perms::owner_all);

  struct statfs volume {};
  ASSERT_EQ(::statfs(folder.path().c_str(), &volume), 0);
  if (volume.f_type == TMPFS_MAGIC) GTEST_SKIP() << "GIO refuses to trash items on a tmpfs";
  std::string answer = trash();
  std::string missing = folder / "item.app.missing";
  EXPECT_EQ(answer.substr(0, answer.find('\n')), "trashed");
  EXPECT_NE(answer.find("Could not move " + missing + " to the Trash: "), std::string::npos)
      << answer;
  EXPECT_FALSE(fs::exists(folder / "item.app"));
  EXPECT_TRUE(fs::is_directory(folder / "data/Trash/files/item.app/Contents"));
  EXPECT_TRUE(fs::exists(folder / "data/Trash/info/item.app.trashinfo"));
}

}  // namespace
}  // namespace installer::host
