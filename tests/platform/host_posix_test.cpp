#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <tuple>

#include "platform/host/host.h"
#include "tests/platform/host_test_folder.h"

namespace installer::host {
namespace {

using fixtures::TemporaryFolder;
namespace fs = std::filesystem;

TEST(HostPosixTest, ExchangeSwapsTwoDirectoriesKeepingTheirInodes) {
  TemporaryFolder folder;
  fs::create_directories(folder / "old.app/Contents");
  fs::create_directories(folder / "new.app/Contents/MacOS");
  HostPosix posix;
  const std::uint64_t oldInode = posix.lstat(folder / "old.app")->inode;
  const std::uint64_t newInode = posix.lstat(folder / "new.app")->inode;

  ASSERT_EQ(posix.exchange(folder / "old.app", folder / "new.app"), 0);
  EXPECT_EQ(posix.lstat(folder / "old.app")->inode, newInode);
  EXPECT_EQ(posix.lstat(folder / "new.app")->inode, oldInode);
  EXPECT_TRUE(fs::is_directory(folder / "old.app/Contents/MacOS"));
  EXPECT_FALSE(fs::exists(folder / "new.app/Contents/MacOS"));

  EXPECT_EQ(posix.exchange(folder / "old.app", folder / "missing.app"), ENOENT);
  EXPECT_EQ(posix.exchange(folder / "missing.app", folder / "new.app"), ENOENT);
  EXPECT_EQ(posix.lstat(folder / "old.app")->inode, newInode);
  EXPECT_EQ(posix.lstat(folder / "new.app")->inode, oldInode);
  EXPECT_FALSE(fs::exists(folder / "missing.app"));
}

TEST(HostPosixTest, StatusAndResolutionDoNotFollowOrInventItems) {
  TemporaryFolder folder;
  fs::create_directory(folder / "real");
  fs::create_directory_symlink(folder / "real", folder / "link");
  HostPosix posix;

  std::optional<FileStatus> link = posix.lstat(folder / "link");
  std::optional<FileStatus> real = posix.lstat(folder / "real");
  ASSERT_TRUE(link && real);
  EXPECT_NE(link->mode & fileTypeMask, directoryType);
  EXPECT_EQ(real->mode & fileTypeMask, directoryType);
  EXPECT_EQ(real->uid, posix.getuid());
  struct stat status {};
  ASSERT_EQ(::stat(folder.path().c_str(), &status), 0);
  EXPECT_EQ(real->device, static_cast<std::int64_t>(status.st_dev));
  EXPECT_FALSE(posix.lstat(folder / "missing"));

  const std::string resolved = fs::canonical(folder.path()).string() + "/real";
  EXPECT_EQ(posix.realpath(folder / "link"), resolved);
  EXPECT_EQ(posix.realpath(folder / "link/../real/."), resolved);
  EXPECT_FALSE(posix.realpath(folder / "missing"));
}

TEST(HostPosixTest, APrivateFolderIsARealFolderOfTheUserThatNobodyElseWrites) {
  TemporaryFolder folder;
  const std::uint32_t user = ::getuid();
  for (const char* name : {"private", "group", "others"}) fs::create_directory(folder / name);
  fs::permissions(folder / "private", fs::perms::owner_all);
  fs::permissions(folder / "group", fs::perms::owner_all | fs::perms::group_write);
  fs::permissions(folder / "others", fs::perms::owner_all | fs::perms::others_write);
  fs::create_directory_symlink(folder / "private", folder / "link");
  fixtures::writeFile(folder / "file", "");
  const std::vector<std::tuple<std::string, std::uint32_t, bool>> cases = {
      {"missing", user, false}, {"private", user, false},   {"private", user + 1, true},
      {"group", user, true},    {"others", user, true},     {"link", user, true},
      {"file", user, true},     {"file/inner", user, true},
  };
  for (const auto& [name, owner, unsafe] : cases) {
    EXPECT_EQ(posix::isUnsafePrivateFolder(folder / name, owner), unsafe) << name;
  }
}

TEST(HostPosixTest, DirectoryLocksExcludeEachOther) {
  TemporaryFolder folder;
  HostPosix posix;
  int first = posix.openDirectory(folder.path());
  int second = posix.openDirectory(folder.path());
  ASSERT_GE(first, 0);
  ASSERT_GE(second, 0);
  EXPECT_EQ(::fcntl(first, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
  EXPECT_TRUE(posix.lockExclusiveNonBlocking(first));
  EXPECT_FALSE(posix.lockExclusiveNonBlocking(second));
  posix.close(first);
  EXPECT_TRUE(posix.lockExclusiveNonBlocking(second));
  posix.close(second);

  fixtures::writeFile(folder / "file", "");
  EXPECT_EQ(posix.openDirectory(folder / "file"), -1);
  EXPECT_EQ(posix.strerror(ENOENT), "No such file or directory");
}

TEST(HostPosixTest, DigestStreamsWhatSha256sumReadsAndOpensNothingElse) {
  TemporaryFolder folder;
  std::string bytes;
  for (int index = 0; index < 300001; ++index) bytes.push_back(static_cast<char>(index * 7 % 251));
  fixtures::writeFile(folder / "large", bytes);
  char expected[65] = {};
  FILE* sum = ::popen(("sha256sum " + folder / "large").c_str(), "r");
  ASSERT_TRUE(sum && std::fread(expected, 1, 64, sum) == 64);
  ::pclose(sum);
  HostPosix posix;
  EXPECT_EQ(posix.sha256OfFile(folder / "large"), std::string(expected));

  ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
  fs::create_symlink(folder / "large", folder / "link");
  for (const char* name : {"fifo", "link", "missing"}) {
    EXPECT_EQ(posix.sha256OfFile(folder / name), std::nullopt) << name;
  }
}

}  // namespace
}  // namespace installer::host
