#include "entry/entry.h"

#include "tests/support/platform_test.h"

namespace installer {
namespace {

class EntryTest : public testing::PlatformTest {
 protected:
  /// Runs the installer; the exit status it ended with.
  int run(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "/installer");
    try {
      return runInstaller(arguments);
    } catch (const testing::ExitCalled& exit) {
      return exit.status;
    }
  }
};

TEST_F(EntryTest, AFailureIsOneCriticalAlertThenOneLineOnStandardError) {
  std::string standardErrorWhileShown = "(not shown)";
  application_.whileShown_ = [&](const Alert&) { standardErrorWhileShown = posix_.standardError_; };

  EXPECT_EQ(run({"--source"}), 1);

  EXPECT_EQ(application_.calls_, (std::vector<std::string>{"accessory", "activate"}));
  ASSERT_EQ(application_.alertsShown_.size(), 1u);
  const Alert& alert = application_.alertsShown_[0];
  EXPECT_EQ(alert.messageText, "无法安装Quorvane浏览器");
  EXPECT_EQ(alert.informativeText, "安装参数不完整。");
  EXPECT_EQ(alert.style, AlertStyle::critical);
  EXPECT_TRUE(alert.buttons.empty());
  EXPECT_EQ(standardErrorWhileShown, "") << "written before the alert was dismissed";
  EXPECT_EQ(posix_.standardError_, "安装参数不完整。\n");
}

TEST_F(EntryTest, APlatformErrorIsReportedWithItsOwnDescription) {
  // A source whose signature tool cannot start: the platform's description
  // reaches the user unchanged.
  testing::makeBundle(root() + "/Quorvane浏览器.app", {.seal = false});
  host::HostChildProcesses noTools(root() + "/no-helpers");
  services_.childProcesses = &noTools;
  installServices(services_);

  EXPECT_EQ(run({"--source", root() + "/Quorvane浏览器.app", "--destination",
                 root() + "/dest/Quorvane浏览器.app"}),
            1);
  ASSERT_EQ(application_.alertsShown_.size(), 1u);
  const std::string description = application_.alertsShown_[0].informativeText;
  EXPECT_NE(description.find("codesign"), std::string::npos) << description;
  EXPECT_EQ(posix_.standardError_, description + "\n");
}

TEST_F(EntryTest, ADeclinedInstallationIsANormalEnd) {
  testing::makeBundle(root() + "/Quorvane浏览器.app");
  application_.responses_ = {1001};
  EXPECT_EQ(run({"--source", root() + "/Quorvane浏览器.app", "--destination",
                 root() + "/dest/Quorvane浏览器.app"}),
            0);
  ASSERT_EQ(application_.alertsShown_.size(), 1u) << "the confirmation, and no failure alert";
  EXPECT_NE(application_.alertsShown_[0].style, AlertStyle::critical);
  EXPECT_EQ(posix_.standardError_, "");
}

}  // namespace
}  // namespace installer
