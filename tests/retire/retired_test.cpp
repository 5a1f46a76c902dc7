#include "retire/retired.h"

#include <filesystem>

#include "tests/retire/retire_test_support.h"

namespace installer {
namespace {

namespace fs = std::filesystem;

class RetiredTest : public testing::RetireTest {
 protected:
  RetiredTest() : copy_(bundle("Apps/Quorvane浏览器 1.0.app", "1.0")), info_(verify(copy_)) {
    workspace_.registered_.insert(QRVX_BROWSER_IDENTIFIER " " + copy_.path());
  }

  bool inPlace() const { return info_.matches(copy_); }
  /// Puts another bundle where the copy was.
  void replaceCopy() {
    fs::rename(copy_.path(), root() + "/Apps/moved.app");
    bundle("Apps/Quorvane浏览器 1.0.app", "1.0");
  }

  FileURL copy_;
  BundleInfo info_;
};

TEST_F(RetiredTest, AnUntouchedCopyIsUnregisteredThenTrashed) {
  EXPECT_TRUE(retired(info_, copy_));
  EXPECT_FALSE(fs::exists(copy_.path()));
  EXPECT_EQ(files_->trashed_, (std::vector<std::string>{copy_.path()}));
  EXPECT_EQ(tools_->registrations(), (std::vector<std::string>{registration("-u", copy_)}));
}

TEST_F(RetiredTest, ACopyThatChangedOrRunsIsLeftAloneWithoutRunningTheTool) {
  running_.add(70, url("Apps/Quorvane浏览器 1.0.app"), QRVX_BROWSER_IDENTIFIER);
  EXPECT_FALSE(retired(info_, copy_)) << "running";
  running_.instances_.clear();

  replaceCopy();
  EXPECT_FALSE(retired(info_, copy_)) << "replaced";
  fs::remove_all(copy_.path());
  EXPECT_FALSE(retired(info_, copy_)) << "removed";

  EXPECT_TRUE(tools_->registrations().empty());
  EXPECT_TRUE(files_->trashRequests_.empty());
}

TEST_F(RetiredTest, AFailingRegistrationToolNeverDecidesTheOutcome) {
  tools_->registrationStatus(1);
  files_->trashRefuses_ = true;
  EXPECT_FALSE(retired(info_, copy_));
  EXPECT_TRUE(inPlace());
  EXPECT_EQ(tools_->registrations(),
            (std::vector<std::string>{registration("-u", copy_), registration("-f", copy_)}));

  files_->trashRefuses_ = false;
  EXPECT_TRUE(retired(info_, copy_));
  EXPECT_FALSE(fs::exists(copy_.path()));

  const FileURL another = bundle("Apps/Quorvane浏览器 1.1.app", "1.1");
  tools_->removeRegistrationTool();  // cannot even be started
  EXPECT_TRUE(retired(verify(another), another));
  EXPECT_FALSE(fs::exists(another.path()));
}

TEST_F(RetiredTest, ARefusedTrashRegistersTheCopyAgainOnlyWhenItWasRegistered) {
  files_->trashRefuses_ = true;
  EXPECT_FALSE(retired(info_, copy_));
  EXPECT_TRUE(inPlace());
  EXPECT_EQ(tools_->registrations(),
            (std::vector<std::string>{registration("-u", copy_), registration("-f", copy_)}));

  tools_->forgetRuns();
  workspace_.registered_.clear();
  EXPECT_FALSE(retired(info_, copy_));
  EXPECT_EQ(tools_->registrations(), (std::vector<std::string>{registration("-u", copy_)}));
}

TEST_F(RetiredTest, ABrowserStartedWhileTheToolRanKeepsTheCopyRegistered) {
  tools_->afterRun_ = [this](const std::vector<std::string>& arguments) {
    if (arguments.at(0) == "-u") running_.add(71, copy_, QRVX_BROWSER_IDENTIFIER);
  };
  EXPECT_FALSE(retired(info_, copy_));
  EXPECT_TRUE(inPlace());
  EXPECT_TRUE(files_->trashRequests_.empty());
  EXPECT_EQ(tools_->registrations(),
            (std::vector<std::string>{registration("-u", copy_), registration("-f", copy_)}));
}

TEST_F(RetiredTest, ACopyReplacedWhileTheToolRanIsNeitherMovedNorRegisteredAgain) {
  tools_->afterRun_ = [this](const std::vector<std::string>& arguments) {
    if (arguments.at(0) == "-u") replaceCopy();
  };
  EXPECT_FALSE(retired(info_, copy_));
  EXPECT_TRUE(fs::exists(copy_.path())) << "the newcomer stays";
  EXPECT_TRUE(fs::exists(root() + "/Apps/moved.app"));
  EXPECT_TRUE(files_->trashRequests_.empty());
  EXPECT_EQ(tools_->registrations(), (std::vector<std::string>{registration("-u", copy_)}));
}

}  // namespace
}  // namespace installer
