#include "entry/options.h"

#include <filesystem>

#include "entry/installer_error.h"
#include "inspect/location.h"
#include "tests/support/platform_test.h"
#include "tests/support/scoped_variable.h"

namespace installer {
namespace {

namespace fs = std::filesystem;

const std::string incomplete = "安装参数不完整。";

class OptionsTest : public testing::PlatformTest {
 protected:
  OptionsTest() {
    fs::create_directories(root() + "/home/Applications");
    fs::create_directories(root() + "/work");
    previousDirectory_ = fs::current_path();
    fs::current_path(root() + "/work");
  }
  ~OptionsTest() override {
    fs::current_path(previousDirectory_);
  }
  /// The message for `arguments` (after the program's path), or "" when they parse.
  std::string failureOf(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "/installer");
    try {
      Options::fromArguments(arguments);
      return "";
    } catch (const InstallerError& error) {
      return error.errorDescription().value_or("(none)");
    }
  }
  Options parse(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "/installer");
    return Options::fromArguments(arguments);
  }

  testing::ScopedVariable home_{"HOME", (root() + "/home").c_str()};
  fs::path previousDirectory_;
};

TEST_F(OptionsTest, TheFirstFaultyPairDecidesTheMessage) {
  const struct {
    std::vector<std::string> arguments;
    std::string expected;
  } cases[] = {
      {{"--source"}, incomplete},
      {{"--source", ""}, incomplete},
      {{"--source=/x"}, incomplete},
      {{"--source", "a.app", "--bogus"}, incomplete},
      {{"--bogus", ""}, incomplete},  // the value is looked at before the key
      {{"--bogus", "x", "--source", "a.app"}, "不支持的安装参数 --bogus。"},
      {{"--Source", "x"}, "不支持的安装参数 --Source。"},
      {{"--source", "a.app", "--bogus", "x", "--destination", ""}, "不支持的安装参数 --bogus。"},
      {{"-psn_0_1", "--source"}, incomplete},
      {{"--destination", "/Applications/Other.app"}, "目标应用名必须为 Quorvane浏览器.app。"},
      {{"--destination", "/Applications/quorvane浏览器.app"}, "目标应用名必须为 Quorvane浏览器.app。"},
      {{"--destination", "/Applications/Quorvane浏览器.app/.."}, "目标应用名必须为 Quorvane浏览器.app。"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(failureOf(c.arguments), c.expected) << ::testing::PrintToString(c.arguments);
  }
}

TEST_F(OptionsTest, WithoutArgumentsTheShippedBrowserGoesToTheHomeApplicationsFolder) {
  for (const auto& arguments : {std::vector<std::string>{}, {"-psn_0_42"}, {"-psn_1", "-psn_2"}}) {
    Options options = parse(arguments);
    std::optional<FileURL> resources = hostBundles_.mainResourceURL();
    FileURL expectedSource = resources
        ? resources->appendingPathComponent("Quorvane浏览器.app")
        : hostBundles_.mainBundleURL().deletingLastPathComponent().appendingPathComponent(
              "Quorvane浏览器.app");
    EXPECT_EQ(options.source.path(), normalized(expectedSource).path());
    EXPECT_EQ(options.destination.path(), root() + "/home/Applications/Quorvane浏览器.app");
    EXPECT_EQ(options.current, std::nullopt);
  }
}

TEST_F(OptionsTest, ValuesBecomeNormalizedLocations) {
  fs::create_symlink(root() + "/home/Applications", root() + "/apps-link");
  Options options = parse({"--current-app", "~/Applications/Old.app", "-psn_0_7", "--source",
                           "new/./Quorvane浏览器.app", "--destination",
                           root() + "/apps-link/Quorvane浏览器.app", "--source", "../b.app"});
  EXPECT_EQ(options.source.path(), root() + "/b.app") << "the last value wins";
  EXPECT_EQ(options.destination.path(), root() + "/home/Applications/Quorvane浏览器.app");
  ASSERT_TRUE(options.current);
  EXPECT_EQ(options.current->path(), root() + "/home/Applications/Old.app");
}

TEST_F(OptionsTest, AbsoluteValuesNeedNoCurrentDirectory) {
  fs::create_directories(root() + "/gone");
  fs::current_path(root() + "/gone");
  fs::remove(root() + "/gone");
  Options options = parse({"--source", root() + "/new/Quorvane浏览器.app"});
  EXPECT_EQ(options.source.path(), root() + "/new/Quorvane浏览器.app");
  EXPECT_ANY_THROW(parse({"--source", "relative.app"})) << "a relative value still needs it";
}

TEST_F(OptionsTest, AValueIsNeverTakenForAKey) {
  Options options = parse({"--source", "--destination"});
  EXPECT_EQ(options.source.path(), root() + "/work/--destination");
}

TEST_F(OptionsTest, ADestinationThatIsALinkKeepsItsOwnName) {
  fs::create_directories(root() + "/real/Quorvane浏览器.app");
  fs::create_directories(root() + "/links");
  fs::create_symlink(root() + "/real/Quorvane浏览器.app", root() + "/links/Quorvane浏览器.app");
  Options options = parse({"--destination", root() + "/links/Quorvane浏览器.app"});
  EXPECT_EQ(options.destination.path(), root() + "/links/Quorvane浏览器.app");
}

}  // namespace
}  // namespace installer
