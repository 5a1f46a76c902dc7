#include "install/retirement.h"

#include <filesystem>

#include "tests/install/install_test_support.h"
#include "tests/retire/retire_test_support.h"

namespace installer {
namespace {

namespace fs = std::filesystem;

const std::string reportHeading = "以下旧应用暂未能移到废纸篓。\n";

/// The state right after a successful launch: the new bundle at the
/// destination and, for an update, the replaced one in the staging directory.
class RetirementTest : public testing::TransactionTest {
 protected:
  RetirementTest() {
    files_ = std::make_unique<testing::TestFileManager>(hostFiles_, root() + "/home",
                                                        root() + "/Trash");
    tools_ = std::make_unique<testing::TestTools>(root());
    services_.files = files_.get();
    services_.childProcesses = tools_.get();
    installServices(services_);
    facts_.sourceInfo = verify(bundle(source(), "2.0"));
  }

  /// Locks the installation folder and creates the staging directory; for an
  /// update the installed 1.0 goes there as the exchange leaves it.
  void installed(bool update, std::optional<FileURL> current = std::nullopt) {
    options_ = options(std::move(current));
    if (update) facts_.destinationInfo = verify(bundle(destination(), "1.0"));
    lock_ = std::make_unique<InstallLock>(options_);
    staging_ = std::make_unique<StagingDirectory>(*lock_);
    if (update) fs::rename(destination().path(), staging_->stagedBundle().path());
    bundle(destination(), "2.0");
  }
  /// A copy the user ran before, of `version`, that the installation may retire.
  void currentCopy(const FileURL& location, const std::string& version, bool retire) {
    facts_.currentLocation = location;
    facts_.currentInfo = verify(bundle(location, version));
    facts_.retireCurrent = retire;
  }
  void retire() { retireOldCopies(options_, facts_, *staging_, {}); }
  /// Ends the transaction as its clean-up does.
  void finish() {
    staging_.reset();
    lock_.reset();
  }

  std::unique_ptr<testing::TestFileManager> files_;
  std::unique_ptr<testing::TestTools> tools_;
  Options options_;
  PreflightFacts facts_;
  std::unique_ptr<InstallLock> lock_;
  std::unique_ptr<StagingDirectory> staging_;
};

TEST_F(RetirementTest, AFreshInstallationAloneRetiresNothingAndShowsNothing) {
  installed(false);
  const FileURL staging = staging_->url();
  retire();
  EXPECT_TRUE(files_->trashRequests_.empty());
  EXPECT_TRUE(tools_->registrations().empty());
  EXPECT_TRUE(preferences_.reads_.empty()) << "an empty Dock edit reads nothing";
  EXPECT_TRUE(application_.alertsShown_.empty());
  EXPECT_FALSE(staging_->keepStaging);
  EXPECT_TRUE(durability_.flushes_.empty()) << "nothing moved, nothing to flush";
  finish();
  EXPECT_FALSE(fs::exists(staging.path()));
}

TEST_F(RetirementTest, TheReplacedBundleGoesToTheTrashWithNoDockEdit) {
  installed(true);
  const FileURL staged = staging_->stagedBundle();
  retire();
  EXPECT_EQ(files_->trashed_, (std::vector<std::string>{staged.path()}));
  EXPECT_TRUE(preferences_.reads_.empty()) << "no Dock tile can point into the staging folder";
  EXPECT_TRUE(application_.alertsShown_.empty());
  EXPECT_EQ(durability_.flushes_,
            (std::vector<std::string>{"directories " + staging_->url().path()}));
  finish();
  EXPECT_FALSE(fs::exists(staged.deletingLastPathComponent().path()));
}

TEST_F(RetirementTest, AReplacedBundleThatStaysKeepsTheStagingDirectoryAsTheBackup) {
  installed(true);
  const FileURL staged = staging_->stagedBundle();
  files_->refused_ = {staged.path()};
  retire();

  EXPECT_TRUE(staging_->keepStaging);
  ASSERT_EQ(application_.alertsShown_.size(), 1u);
  const Alert& report = application_.alertsShown_[0];
  EXPECT_EQ(report.messageText, "新版已安装");
  EXPECT_EQ(report.informativeText, reportHeading + staged.path());
  EXPECT_TRUE(staged.path().starts_with(root() + "/Applications/.qrvx-update-"));
  EXPECT_TRUE(report.informativeText.ends_with("/Quorvane浏览器.app"));
  EXPECT_EQ(report.style, AlertStyle::warning);
  EXPECT_TRUE(report.buttons.empty());
  finish();
  EXPECT_TRUE(facts_.destinationInfo->matches(staged)) << "the old bundle waits in the backup";
}

TEST_F(RetirementTest, CopiesThatStayAreListedReplacedFirstThenCurrentThenObsolete) {
  installed(true, url("Other/Quorvane浏览器.app"));
  currentCopy(url("Other/Quorvane浏览器.app"), "1.0", true);
  bundle(url("Applications/Quorvane浏览器 1.1.app"), "1.1");
  bundle(url("Applications/Quorvane浏览器 1.0.app"), "1.0");
  files_->trashRefuses_ = true;
  retire();

  ASSERT_EQ(application_.alertsShown_.size(), 1u);
  EXPECT_EQ(application_.alertsShown_[0].informativeText,
            reportHeading + staging_->stagedBundle().path() + "\n" + url("Other/Quorvane浏览器.app").path() +
                "\n" + url("Applications/Quorvane浏览器 1.0.app").path() + "\n" +
                url("Applications/Quorvane浏览器 1.1.app").path());
  EXPECT_TRUE(preferences_.reads_.empty());
  EXPECT_TRUE(staging_->keepStaging);
}

TEST_F(RetirementTest, RetiredCopiesLoseTheirDockTilesAndTheDockReloads) {
  const FileURL current = url("Other/Quorvane浏览器.app");
  const FileURL obsolete = url("Applications/Quorvane浏览器 1.5.app");
  installed(false, current);
  currentCopy(current, "1.0", true);
  bundle(obsolete, "1.5");
  auto tileOf = [](const FileURL& location) {
    return PropertyValue(PropertyDictionary{
        {"tile-data",
         PropertyDictionary{{"file-data", PropertyDictionary{{"_CFURLString", testing::fileURLString(location.path())}}}}}});
  };
  const PropertyValue installedTile = tileOf(destination());
  preferences_.values_["com.apple.dock"]["persistent-apps"] =
      PropertyArray{tileOf(current), installedTile, tileOf(obsolete)};
  running_.add(300, url("Dock.app"), "com.apple.dock");
  retire();

  EXPECT_EQ(files_->trashed_, (std::vector<std::string>{current.path(), obsolete.path()}));
  EXPECT_EQ(preferences_.values_["com.apple.dock"]["persistent-apps"],
            PropertyValue(PropertyArray{installedTile}));
  EXPECT_EQ(durability_.flushes_, (std::vector<std::string>{"directories " + root() +
                                                            "/Applications " + root() + "/Other"}));
  EXPECT_EQ(posix_.signalsSent_, (std::vector<std::pair<int, int>>{{300, hangUpSignal}}));
  EXPECT_TRUE(application_.alertsShown_.empty());
}

TEST_F(RetirementTest, TheCurrentCopyIsRetiredOnlyWhenItQualifiesAndNeverAsAnObsoleteCopy) {
  const FileURL current = url("Applications/Quorvane浏览器 1.5.app");
  installed(false, current);
  currentCopy(current, "1.5", false);
  retire();
  EXPECT_TRUE(files_->trashRequests_.empty());
  EXPECT_TRUE(fs::exists(current.path()));
  EXPECT_TRUE(application_.alertsShown_.empty());

  facts_.retireCurrent = true;
  files_->trashRefuses_ = true;
  retire();
  EXPECT_EQ(files_->trashRequests_, (std::vector<std::string>{current.path()})) << "tried once";
  ASSERT_EQ(application_.alertsShown_.size(), 1u);
  EXPECT_EQ(application_.alertsShown_[0].informativeText, reportHeading + current.path());
}

}  // namespace
}  // namespace installer
