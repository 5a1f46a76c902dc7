#include "install/preflight.h"

#include "inspect/location.h"
#include "install/volume_check.h"
#include "tests/install/install_test_support.h"

namespace installer {
namespace {

namespace fs = std::filesystem;

class PreflightTest : public testing::TransactionTest {};

TEST_F(PreflightTest, AFreshInstallationHasNothingElseToKnow) {
  bundle(source(), "2.0");
  PreflightFacts facts = preflight(options());
  EXPECT_EQ(facts.sourceInfo.url.path(), source().path());
  EXPECT_FALSE(facts.destinationInfo);
  EXPECT_TRUE(facts.runningInstances.empty());
  EXPECT_FALSE(facts.runningInstance);
  EXPECT_FALSE(facts.currentLocation);
  EXPECT_FALSE(facts.currentInfo);
  EXPECT_FALSE(facts.retireCurrent);
}

TEST_F(PreflightTest, RefusalsCarryTheirMessages) {
  bundle(source(), "2.0");
  const std::string several = "检测到多份正在运行的浏览器，请先退出其他副本后重试。";
  const std::string atDestination = "安装位置的浏览器正在运行，请先退出后重试。";

  EXPECT_EQ(failureOf([&] { preflight(Options{source(), source(), {}}); }), "升级包与安装位置相同。");

  running(10, url("A/Quorvane浏览器.app"));
  running(11, url("B/Quorvane浏览器.app"));
  EXPECT_EQ(failureOf([&] { preflight(options()); }), several);

  running_.instances_.clear();
  running_.add(12, std::nullopt, QRVX_BROWSER_IDENTIFIER);
  EXPECT_EQ(failureOf([&] { preflight(options()); }), several) << "one instance without a bundle";

  // With --current-app other locations do not count, but the destination does.
  running_.instances_.clear();
  bundle(url("Old/Quorvane浏览器.app"), "1.0");
  running(13, destination());
  EXPECT_EQ(failureOf([&] { preflight(options(url("Old/Quorvane浏览器.app"))); }), atDestination);
}

TEST_F(PreflightTest, ANewerCopyRefusesTheDowngradeNamingTheFirstNewerOne) {
  bundle(source(), "1.9");
  bundle(destination(), "1.10");
  bundle(url("Current/Quorvane浏览器.app"), "3.0");
  EXPECT_EQ(failureOf([&] { preflight(options(url("Current/Quorvane浏览器.app"))); }),
            "安装包版本 1.9 低于现有浏览器 1.10，请选择相同或更新的版本。");

  fs::remove_all(destination().path());
  EXPECT_EQ(failureOf([&] { preflight(options(url("Current/Quorvane浏览器.app"))); }),
            "安装包版本 1.9 低于现有浏览器 3.0，请选择相同或更新的版本。");
}

TEST_F(PreflightTest, TheSameVersionAgainPassesButRetiresNothing) {
  bundle(source(), "2.0");
  bundle(destination(), "2.0.0");
  bundle(url("Current/Quorvane浏览器.app"), "2.0");
  PreflightFacts facts = preflight(options(url("Current/Quorvane浏览器.app")));
  ASSERT_TRUE(facts.retireCurrent);
  EXPECT_FALSE(*facts.retireCurrent);
}

TEST_F(PreflightTest, TheRunningInstanceNamesTheCurrentCopy) {
  bundle(source(), "2.0");
  bundle(url("Elsewhere/Quorvane浏览器.app"), "1.0");
  fs::create_symlink(root() + "/Elsewhere", root() + "/elsewhere-link");
  auto instance = running(20, url("elsewhere-link/Quorvane浏览器.app"));

  PreflightFacts facts = preflight(options());
  EXPECT_EQ(facts.runningInstance, instance);
  ASSERT_TRUE(facts.currentLocation);
  EXPECT_EQ(facts.currentLocation->path(), root() + "/Elsewhere/Quorvane浏览器.app");
  ASSERT_TRUE(facts.currentInfo);
  EXPECT_EQ(facts.currentInfo->version, "1.0");
  EXPECT_TRUE(facts.retireCurrent.value_or(false));
}

TEST_F(PreflightTest, AnInstanceAtTheDestinationIsTheInstalledCopyVerifiedOnce) {
  bundle(source(), "2.0");
  bundle(destination(), "1.0");
  running(30, destination());
  PreflightFacts facts = preflight(options());
  ASSERT_TRUE(facts.currentInfo && facts.destinationInfo);
  EXPECT_EQ(facts.currentInfo->inode, facts.destinationInfo->inode);
  EXPECT_FALSE(facts.retireCurrent.value_or(true));
}

TEST_F(PreflightTest, ACurrentCopyInsideAnotherBundleIsNeverRetired) {
  bundle(source(), "2.0");
  bundle(url("Outer.app/Contents/Quorvane浏览器.app"), "1.0");
  PreflightFacts facts = preflight(options(url("Outer.app/Contents/Quorvane浏览器.app")));
  EXPECT_FALSE(facts.retireCurrent.value_or(true));
  EXPECT_FALSE(isInsideAnotherBundle(FileURL::fromAbsolutePath("/")));
  EXPECT_FALSE(isInsideAnotherBundle(FileURL::fromAbsolutePath("/Quorvane浏览器.app")));
  EXPECT_TRUE(isInsideAnotherBundle(FileURL::fromAbsolutePath("/x.app/y/Quorvane浏览器.app")));
  EXPECT_FALSE(isInsideAnotherBundle(FileURL::fromAbsolutePath("/x.APP/Quorvane浏览器.app")));
}

TEST_F(PreflightTest, VerificationAndDataDirectoryErrorsPassThrough) {
  bundle(source(), "2.0");
  fs::create_directories(destination().path());  // a plain folder, not a bundle
  EXPECT_EQ(failureOf([&] { preflight(options()); }),
            "不是可识别的Quorvane浏览器应用包。\n" + destination().path());

  fs::remove_all(destination().path());
  clock_.environment_["QRVX_DATA_ROOT"] = root() + "/Applications";
  EXPECT_EQ(failureOf([&] { preflight(options()); }),
            "应用路径与浏览器资料目录重叠。\n" + destination().path());
}

TEST_F(PreflightTest, SizesReadInMegabytesThenGigabytesWithOneDecimal) {
  for (auto [bytes, shown] : {std::pair<std::uint64_t, const char*>{812'449'000, "812.4 MB"},
                              {999'949'999, "999.9 MB"},
                              {999'950'000, "1.0 GB"},
                              {1'260'000'000, "1.3 GB"}})
    EXPECT_EQ(shownSize(bytes), shown) << bytes;
}

}  // namespace
}  // namespace installer
