#include "process/exchange.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "entry/installer_error.h"
#include "tests/support/platform_test.h"

namespace installer {
namespace {

namespace fs = std::filesystem;

class SwapTest : public testing::PlatformTest {
 protected:
  SwapTest() {
    fs::create_directories(root() + "/Staging/Quorvane浏览器.app");
    fs::create_directories(root() + "/Applications/Quorvane浏览器.app");
    testing::writeFile(staged() + "/version", "new");
    testing::writeFile(installed() + "/version", "old");
  }
  std::string staged() const { return root() + "/Staging/Quorvane浏览器.app"; }
  std::string installed() const { return root() + "/Applications/Quorvane浏览器.app"; }

  static std::string contents(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::uint64_t inode(const std::string& path) { return hostPosix_.lstat(path).value().inode; }
};

TEST_F(SwapTest, ExchangesBothEntriesAndASecondExchangeRestoresThem) {
  const std::uint64_t stagedInode = inode(staged());
  const std::uint64_t installedInode = inode(installed());
  const auto stamp = fs::last_write_time(staged() + "/version");

  process::swap(FileURL::fromAbsolutePath(staged()), FileURL::fromAbsolutePath(installed()));
  EXPECT_EQ(contents(installed() + "/version"), "new");
  EXPECT_EQ(contents(staged() + "/version"), "old");
  EXPECT_EQ(inode(installed()), stagedInode);
  EXPECT_EQ(inode(staged()), installedInode);
  EXPECT_EQ(fs::last_write_time(installed() + "/version"), stamp);

  // The order of the two paths makes no difference.
  process::swap(FileURL::fromAbsolutePath(installed()), FileURL::fromAbsolutePath(staged()));
  EXPECT_EQ(contents(staged() + "/version"), "new");
  EXPECT_EQ(contents(installed() + "/version"), "old");
  EXPECT_EQ(inode(staged()), stagedInode);
}

TEST_F(SwapTest, AMissingSideChangesNothingAndNamesTheReason) {
  const std::string missing = root() + "/Missing/Quorvane浏览器.app";
  const std::pair<std::string, std::string> cases[] = {{missing, installed()},
                                                       {installed(), missing}};
  for (const auto& [first, second] : cases) {
    try {
      process::swap(FileURL::fromAbsolutePath(first), FileURL::fromAbsolutePath(second));
      ADD_FAILURE() << "no failure for " << first << " and " << second;
    } catch (const InstallerError& error) {
      EXPECT_EQ(error.errorDescription(), "应用替换失败：" + std::string(std::strerror(ENOENT)));
    }
    EXPECT_EQ(contents(installed() + "/version"), "old");
    EXPECT_FALSE(fs::exists(missing));
  }
}

}  // namespace
}  // namespace installer
