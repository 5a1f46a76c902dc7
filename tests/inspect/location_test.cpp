#include "inspect/location.h"

#include <filesystem>

#include "tests/support/platform_test.h"

namespace installer {
namespace {

namespace fs = std::filesystem;

class LocationTest : public testing::PlatformTest {
 protected:
  LocationTest() {
    fs::create_directories(root() + "/real/apps/Inner.app");
    fs::create_symlink(root() + "/real", root() + "/link");
    fs::create_symlink("apps", root() + "/real/relative-link");
    fs::create_symlink(root() + "/real/apps/Inner.app", root() + "/real/apps/Alias.app");
    fs::create_symlink(root() + "/nowhere", root() + "/real/apps/Dangling.app");
  }
  std::string canonical(const std::string& relative) {
    return canonicalPath(url(relative)).path();
  }
};

TEST_F(LocationTest, CanonicalPathResolvesEveryLinkItCanReach) {
  const std::string real = root() + "/real";
  const struct {
    const char* input;
    std::string expected;
  } cases[] = {
      {"link/apps/Inner.app", real + "/apps/Inner.app"},
      {"link/relative-link/Inner.app", real + "/apps/Inner.app"},
      // A link as the last component is resolved too.
      {"link/apps/Alias.app", real + "/apps/Inner.app"},
      // Missing trailing levels are appended as written, in path order.
      {"link/apps/New.app", real + "/apps/New.app"},
      {"link/missing/deeper/New.app", real + "/missing/deeper/New.app"},
      // A dangling link counts as missing: its own name stays.
      {"link/apps/Dangling.app", real + "/apps/Dangling.app"},
      {"link/apps/Dangling.app/Contents", real + "/apps/Dangling.app/Contents"},
      // Dots, doubled and trailing separators change nothing.
      {"link/./apps//Inner.app/", real + "/apps/Inner.app"},
      {"link/apps/../apps/Inner.app", real + "/apps/Inner.app"},
  };
  for (const auto& c : cases) EXPECT_EQ(canonical(c.input), c.expected) << c.input;
}

TEST_F(LocationTest, CanonicalPathOfTheRootAndOfMissingTopLevels) {
  EXPECT_EQ(canonicalPath(FileURL::fromAbsolutePath("/")).path(), "/");
  // Every level of this exists as far as "/", so it still resolves below it.
  EXPECT_EQ(canonicalPath(FileURL::fromAbsolutePath("/qrvx-missing-top/x/../y")).path(),
            "/qrvx-missing-top/y");
}

TEST_F(LocationTest, NormalizedResolvesOnlyTheFolder) {
  const std::string real = root() + "/real";
  EXPECT_EQ(normalized(url("link/apps/Alias.app")).path(), real + "/apps/Alias.app");
  EXPECT_EQ(canonicalPath(url("link/apps/Alias.app")).path(), real + "/apps/Inner.app");
  EXPECT_EQ(normalized(url("link/apps/Dangling.app")).path(), real + "/apps/Dangling.app");
  EXPECT_EQ(normalized(url("link/missing/New.app")).path(), real + "/missing/New.app");
  // One place through two different links to its folder is one path.
  fs::create_symlink(root() + "/real/apps", root() + "/second");
  EXPECT_EQ(normalized(url("second/Inner.app")).path(),
            normalized(url("link/apps/Inner.app")).path());
}

}  // namespace
}  // namespace installer
