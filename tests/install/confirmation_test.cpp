#include "install/confirmation.h"

#include "entry/constants.h"
#include "tests/install/install_test_support.h"

namespace installer {
namespace {

class ConfirmationTest : public testing::TransactionTest {};

TEST_F(ConfirmationTest, AFreshInstallationAsksToInstall) {
  bundle(source(), "2.1.0");
  PreflightFacts facts = preflight(options());
  application_.responses_ = {alertFirstButtonReturn};
  EXPECT_TRUE(confirmed(options(), facts));

  ASSERT_EQ(application_.alertsShown_.size(), 1u);
  const Alert& alert = application_.alertsShown_[0];
  EXPECT_EQ(alert.messageText, "安装Quorvane浏览器 2.1.0？");
  EXPECT_EQ(alert.informativeText,
            "安装位置\n" + destination().path() +
                "\n\n新版启动后，可核验且已退出的旧副本会移到废纸篓，相关程序坞入口会清理。\n\n" +
                dataNotice);
  EXPECT_EQ(alert.style, AlertStyle::warning);
  ASSERT_EQ(alert.buttons.size(), 2u);
  EXPECT_EQ(alert.buttons[0].title, "安装");
  EXPECT_EQ(alert.buttons[0].keyEquivalent, "");
  EXPECT_EQ(alert.buttons[1].title, "取消");
  EXPECT_EQ(alert.buttons[1].keyEquivalent, "\x1b");
}

TEST_F(ConfirmationTest, AnUpdateOfTheRunningBrowserSaysItQuitsIt) {
  bundle(source(), "2.1.0");
  bundle(destination(), "2.0");
  running(40, destination());
  PreflightFacts facts = preflight(options());
  application_.responses_ = {alertFirstButtonReturn};
  EXPECT_TRUE(confirmed(options(), facts));

  const Alert& alert = application_.alertsShown_.at(0);
  EXPECT_EQ(alert.informativeText,
            "安装位置\n" + destination().path() + "\n\n当前副本 2.0\n" + destination().path() +
                "\n\n确认后会先正常退出旧浏览器。"
                "\n\n新版启动后，可核验且已退出的旧副本会移到废纸篓，相关程序坞入口会清理。\n\n" +
                dataNotice);
  EXPECT_EQ(alert.buttons.at(0).title, "退出并更新");
}

TEST_F(ConfirmationTest, AnyAnswerButTheFirstButtonDeclines) {
  bundle(source(), "2.1.0");
  PreflightFacts facts = preflight(options());
  for (long answer : {1001L, modalResponseAbort, 0L, 999L}) {
    application_.responses_ = {answer};
    EXPECT_FALSE(confirmed(options(), facts)) << answer;
  }
}

}  // namespace
}  // namespace installer
