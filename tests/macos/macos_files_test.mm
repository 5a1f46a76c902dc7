// The file manager and the POSIX calls against a real temporary folder.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fstream>

#include "platform/macos/macos.h"
#include "platform/platform_error.h"
#include "tests/support/temporary_folder.h"

namespace installer::macos {
namespace {

using installer::testing::TemporaryFolder;

FileURL location(const std::string& path) { return FileURL::fromAbsolutePath(path); }

void writeFile(const std::string& path) { std::ofstream(path) << "x"; }

std::uint32_t permissionsOf(const std::string& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) return 0;
  return status.st_mode & 07777;
}

TEST(MacFileManager, CreatesDirectoriesWithExactPermissions) {
  TemporaryFolder folder;
  MacFileManager files;
  struct Case {
    mode_t umask;
    unsigned permissions;
  };
  const Case cases[] = {{022, 0700}, {077, 0755}, {0, 0700}};
  int index = 0;
  for (const Case& c : cases) {
    std::string path = folder / ("made" + std::to_string(index++));
    mode_t previous = ::umask(c.umask);
    files.createDirectory(location(path), false, c.permissions);
    ::umask(previous);
    EXPECT_EQ(permissionsOf(path), c.permissions) << path;
  }
}

TEST(MacFileManager, IntermediateDirectoriesDecideWhatAnExistingItemMeans) {
  TemporaryFolder folder;
  MacFileManager files;
  files.createDirectory(location(folder / "a/b/c"), true, std::nullopt);
  EXPECT_NO_THROW(files.createDirectory(location(folder / "a/b/c"), true, std::nullopt));
  EXPECT_THROW(files.createDirectory(location(folder / "a/b/c"), false, std::nullopt),
               PlatformError);
  EXPECT_THROW(files.createDirectory(location(folder / "x/y"), false, std::nullopt),
               PlatformError);
  writeFile(folder / "file");
  EXPECT_THROW(files.createDirectory(location(folder / "file"), true, std::nullopt),
               PlatformError);
}

TEST(MacFileManager, MovesNeverReplace) {
  TemporaryFolder folder;
  MacFileManager files;
  writeFile(folder / "from");
  writeFile(folder / "taken");
  EXPECT_THROW(files.moveItem(location(folder / "from"), location(folder / "taken")),
               PlatformError);
  EXPECT_EQ(::access((folder / "from").c_str(), F_OK), 0);
  files.moveItem(location(folder / "from"), location(folder / "free"));
  EXPECT_NE(::access((folder / "from").c_str(), F_OK), 0);
  EXPECT_EQ(::access((folder / "free").c_str(), F_OK), 0);
}

TEST(MacFileManager, RemovesWholeTreesAndReportsWhatIsMissing) {
  TemporaryFolder folder;
  MacFileManager files;
  files.createDirectory(location(folder / "tree/inner"), true, std::nullopt);
  writeFile(folder / "tree/inner/file");
  files.removeItem(location(folder / "tree"));
  EXPECT_NE(::access((folder / "tree").c_str(), F_OK), 0);
  try {
    files.removeItem(location(folder / "tree"));
    ADD_FAILURE() << "removing a missing item succeeded";
  } catch (const PlatformError& error) {
    EXPECT_NE(std::string(error.what()), "");
  }
}

TEST(MacFileManager, MovesAnItemToTheTrash) {
  TemporaryFolder folder;
  MacFileManager files;
  // The folder's unique name keeps the item apart from the user's own.
  const std::string name = std::filesystem::path(folder.path()).filename().string();
  writeFile(folder / name);
  files.trashItem(location(folder / name));
  EXPECT_NE(::access((folder / name).c_str(), F_OK), 0);
  // Only a tidy-up: the system may refuse a look into the Trash.
  ::unlink((files.homeDirectory() + "/.Trash/" + name).c_str());
  EXPECT_THROW(files.trashItem(location(folder / name)), PlatformError);
  // A Trash another user may write is refused before anything moves.
  const std::string trash = files.homeDirectory() + "/.Trash";
  const std::uint32_t mode = permissionsOf(trash);
  writeFile(folder / name);
  if (mode == 0 || ::chmod(trash.c_str(), mode | S_IWOTH) != 0) GTEST_SKIP() << trash;
  EXPECT_THROW(files.trashItem(location(folder / name)), PlatformError);
  ::chmod(trash.c_str(), mode);
  EXPECT_EQ(::access((folder / name).c_str(), F_OK), 0);
}

TEST(MacFileManager, TakesTheQuarantineMarkOffAWholeTree) {
  TemporaryFolder folder;
  MacFileManager files;
  files.createDirectory(location(folder / "Q.app/Contents"), true, std::nullopt);
  writeFile(folder / "Q.app/Contents/file");
  ASSERT_EQ(::symlink("file", (folder / "Q.app/Contents/link").c_str()), 0);
  const char* mark = "com.apple.quarantine";
  const std::string value = "0083;65f1a2b3;qrvx-tests;";
  const std::string items[] = {folder / "Q.app", folder / "Q.app/Contents",
                               folder / "Q.app/Contents/file", folder / "Q.app/Contents/link"};
  for (const std::string& item : items) {
    ASSERT_EQ(::setxattr(item.c_str(), mark, value.data(), value.size(), 0, XATTR_NOFOLLOW), 0);
  }
  files.removeQuarantine(location(folder / "Q.app"));
  for (const std::string& item : items) {
    EXPECT_EQ(::getxattr(item.c_str(), mark, nullptr, 0, 0, XATTR_NOFOLLOW), -1) << item;
  }
  EXPECT_NO_THROW(files.removeQuarantine(location(folder / "Q.app")));
  EXPECT_THROW(files.removeQuarantine(location(folder / "missing")), PlatformError);
}

TEST(MacFileManager, ListsDirectEntriesHiddenOnesOnlyWhenAsked) {
  TemporaryFolder folder;
  MacFileManager files;
  writeFile(folder / "b");
  writeFile(folder / ".hidden");
  files.createDirectory(location(folder / "a.app/Contents"), true, std::nullopt);
  std::vector<std::string> names;
  for (const FileURL& entry : files.contentsOfDirectory(location(folder.path()))) {
    EXPECT_EQ(entry.deletingLastPathComponent(), location(folder.path()));
    names.push_back(entry.lastPathComponent());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a.app", "b"}));
  EXPECT_EQ(files.contentsOfDirectoryIncludingHidden(location(folder.path())).size(), 3u);
  EXPECT_THROW(files.contentsOfDirectory(location(folder / "missing")), PlatformError);
}

TEST(MacFileManager, AnswersTheUsersFolders) {
  MacFileManager files;
  std::string home = files.homeDirectory();
  ASSERT_FALSE(home.empty());
  EXPECT_EQ(home.front(), '/');
  std::vector<FileURL> support = files.applicationSupportDirectories();
  ASSERT_EQ(support.size(), 1u);
  EXPECT_EQ(support[0], location(home).appendingPathComponent("Library/Application Support"));
  EXPECT_EQ(files.homeDirectoryOfUser("root"), std::optional<std::string>("/var/root"));
  EXPECT_EQ(files.homeDirectoryOfUser("no-such-user-qrvx"), std::nullopt);
  EXPECT_FALSE(files.currentDirectoryPath().empty());
}

TEST(MacFileManager, TheSystemVolumeSaysItCanHoldTheBrowser) {
  TemporaryFolder folder;
  std::optional<VolumeStatus> volume = MacFileManager().volumeOf(location(folder.path()));
  ASSERT_TRUE(volume);  // APFS, as every Mac's system volume is
  EXPECT_FALSE(volume->readOnly);
  EXPECT_GT(volume->availableBytes, 0u);
  EXPECT_EQ(volume->supportsExchange, std::optional<bool>(true));
  EXPECT_EQ(volume->supportsSymbolicLinks, std::optional<bool>(true));
  EXPECT_FALSE(MacFileManager().volumeOf(location(folder / "missing")));
}

TEST(MacPosix, ExchangeSwapsTwoEntriesAtomically) {
  TemporaryFolder folder;
  MacPosix posix;
  ASSERT_EQ(::mkdir((folder / "first").c_str(), 0700), 0);
  writeFile(folder / "second");
  std::optional<FileStatus> first = posix.lstat(folder / "first");
  std::optional<FileStatus> second = posix.lstat(folder / "second");
  ASSERT_TRUE(first && second);
  ASSERT_EQ(posix.exchange(folder / "first", folder / "second"), 0);
  EXPECT_EQ(posix.lstat(folder / "first")->inode, second->inode);
  EXPECT_EQ(posix.lstat(folder / "second")->inode, first->inode);
  EXPECT_EQ(posix.exchange(folder / "first", folder / "missing"), ENOENT);
  EXPECT_EQ(posix.lstat(folder / "missing"), std::nullopt);
}

TEST(MacPosix, LocksAndResolvesPaths) {
  TemporaryFolder folder;
  MacPosix posix;
  int descriptor = posix.openDirectory(folder.path());
  int other = posix.openDirectory(folder.path());
  ASSERT_GE(descriptor, 0);
  ASSERT_GE(other, 0);
  EXPECT_TRUE(::fcntl(descriptor, F_GETFD) & FD_CLOEXEC);
  EXPECT_TRUE(posix.lockExclusiveNonBlocking(descriptor));
  EXPECT_FALSE(posix.lockExclusiveNonBlocking(other));
  posix.close(descriptor);
  EXPECT_TRUE(posix.lockExclusiveNonBlocking(other));
  posix.close(other);

  writeFile(folder / "file");
  EXPECT_EQ(posix.openDirectory(folder / "file"), -1);
  EXPECT_EQ(posix.realpath(folder / "./file"), std::optional<std::string>(folder / "file"));
  EXPECT_EQ(posix.realpath("/tmp"), std::optional<std::string>("/private/tmp"));
  EXPECT_EQ(posix.realpath(folder / "missing"), std::nullopt);
  EXPECT_EQ(posix.strerror(ENOENT), "No such file or directory");
  EXPECT_EQ(posix.getuid(), ::getuid());
}

}  // namespace
}  // namespace installer::macos
