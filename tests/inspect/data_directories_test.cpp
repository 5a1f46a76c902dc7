#include "inspect/data_directories.h"

#include <filesystem>

#include "entry/installer_error.h"
#include "tests/support/platform_test.h"
#include "tests/support/scoped_variable.h"

namespace installer {
namespace {

namespace fs = std::filesystem;


class DataDirectoriesTest : public testing::PlatformTest {
 protected:
  DataDirectoriesTest() {
    fs::create_directories(root() + "/Application Support/Quorvane");
    fs::create_directories(root() + "/Apps");
  }
  /// The message for `urls`, or "" when they pass.
  std::string failureOf(const std::vector<FileURL>& urls) {
    try {
      checkDataDirectories(urls);
      return "";
    } catch (const InstallerError& error) {
      return error.errorDescription().value_or("(none)");
    }
  }
  std::string overlap(const FileURL& location) {
    return "应用路径与浏览器资料目录重叠。\n" + location.path();
  }
  // The Application Support folder of these tests is the test's own folder.
  testing::ScopedVariable dataHome_{"XDG_DATA_HOME", (root() + "/Application Support").c_str()};
};

TEST_F(DataDirectoriesTest, RefusesLocationsInsideEqualToOrAroundTheApplicationSupportFolder) {
  fs::create_symlink(root() + "/Application Support", root() + "/support-link");
  const char* refused[] = {
      "Application Support",
      "Application Support/Quorvane浏览器.app",
      "Application Support/Quorvane/deep/er/Quorvane浏览器.app",
      "APPLICATION support/Quorvane浏览器.app",  // letter case is folded
      "support-link/Quorvane浏览器.app",         // links are resolved
      "",                                        // the folder holding the root
  };
  for (const char* relative : refused) {
    FileURL location = url(relative);
    EXPECT_EQ(failureOf({location}), overlap(location)) << relative;
  }
  const char* accepted[] = {"Apps/Quorvane浏览器.app", "Application Support Backup/Quorvane浏览器.app",
                            "Application/Support/Quorvane浏览器.app"};
  for (const char* relative : accepted) EXPECT_EQ(failureOf({url(relative)}), "") << relative;
}

TEST_F(DataDirectoriesTest, FoldsUnicodeCompositionAndCase) {
  // The data root is written composed, the location decomposed and upper case.
  clock_.environment_["QRVX_DATA_ROOT"] = root() + "/Donn\u00e9es";
  FileURL location = url("DONNE\u0301ES/Quorvane浏览器.app");
  EXPECT_EQ(failureOf({location}), overlap(location));

  // Only lower-casing makes "J" and a combining caron composable into U+01F0.
  clock_.environment_["QRVX_DATA_ROOT"] = root() + "/\u01F0";
  location = url("J\u030C/Quorvane浏览器.app");
  EXPECT_EQ(failureOf({location}), overlap(location));
}

TEST_F(DataDirectoriesTest, TheDataRootVariableAddsARoot) {
  FileURL bundle = url("Apps/Quorvane浏览器.app");
  clock_.environment_["QRVX_DATA_ROOT"] = "";
  EXPECT_EQ(failureOf({bundle}), "") << "an empty value adds nothing";

  clock_.environment_["QRVX_DATA_ROOT"] = bundle.path() + "/Contents/Data";
  EXPECT_EQ(failureOf({bundle}), overlap(bundle)) << "the root lies inside the bundle";

  clock_.environment_["QRVX_DATA_ROOT"] = root() + "/Apps";
  EXPECT_EQ(failureOf({bundle}), overlap(bundle)) << "the bundle lies inside the root";

  clock_.environment_["QRVX_DATA_ROOT"] = "/";
  EXPECT_EQ(failureOf({FileURL::fromAbsolutePath("/opt/Quorvane浏览器.app")}),
            overlap(FileURL::fromAbsolutePath("/opt/Quorvane浏览器.app")));
}

TEST_F(DataDirectoriesTest, NamesTheFirstOverlappingLocationAsPassed) {
  fs::create_symlink(root() + "/Application Support", root() + "/support-link");
  FileURL clean = url("Apps/Quorvane浏览器.app");
  FileURL first = url("support-link/One.app");
  FileURL second = url("Application Support/Two.app");
  EXPECT_EQ(failureOf({clean, first, second}), overlap(first));
  EXPECT_EQ(failureOf({}), "");
}

}  // namespace
}  // namespace installer
