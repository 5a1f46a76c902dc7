#include "retire/obsolete_copies.h"

#include <sys/stat.h>

#include <filesystem>

#include "tests/retire/retire_test_support.h"

namespace installer {
namespace {

namespace fs = std::filesystem;

// "é" composed and decomposed.
const std::string composedE = "\xC3\xA9";
const std::string decomposedE = "e\xCC\x81";

class ObsoleteCopiesTest : public testing::RetireTest {
 protected:
  ObsoleteCopiesTest()
      : source_(verify(bundle("Downloads/Quorvane浏览器.app", "2.0"))) {
    fs::create_directories(temporary());
    fs::create_directories(root() + "/Apps");
  }

  std::string temporary() const { return root() + "/tmp"; }
  /// A private build folder in the test's temporary folder.
  void buildFolder(const std::string& name) {
    fs::create_directories(temporary() + "/" + name);
    ::chmod((temporary() + "/" + name).c_str(), 0755);
  }
  std::vector<std::string> found(const FileURL& destination,
                                 const std::vector<FileURL>& excluding = {}) {
    tools_->forgetRuns();
    std::vector<std::string> paths;
    for (const BundleInfo& info : obsoleteCopies(source_, destination, excluding,
                                                 FileURL::fromAbsolutePath(temporary()))) {
      EXPECT_TRUE(info.matches(info.url)) << info.url.path();
      paths.push_back(info.url.path().substr(root().size() + 1) + " " + info.version);
    }
    return paths;
  }
  FileURL userApplications() const { return url("home/Applications/Quorvane浏览器.app"); }

  BundleInfo source_;
};

TEST_F(ObsoleteCopiesTest, OnlyVerifiedStrictlyOlderCopiesBesideTheInstallationInPathOrder) {
  bundle("Apps/Quorvane浏览器.app", "1.5");
  bundle("Apps/Quorvane浏览器 1.2.app", "1.2");
  bundle("Apps/Quorvane浏览器 10.app", "1.0");  // the name's version is not the bundle's
  bundle("Apps/Quorvane浏览器 2.0.app", "2.0");
  bundle("Apps/Quorvane浏览器 3.0.app", "3.0");
  bundle("Apps/Quorvane浏览器 copy.app", "1.0");
  bundle("Apps/Other.app", "1.0");
  bundle("Apps/.Quorvane浏览器 1.1.app", "1.1");
  testing::makeBundle(root() + "/Apps/Quorvane浏览器 1.3.app", {.seal = false});
  testing::makeBundle(root() + "/Apps/Quorvane浏览器 1.4.app",
                      {.identifier = PropertyValue("com.example.other")});
  testing::writeFile(root() + "/Apps/Quorvane浏览器 1.6.app", "a file");
  bundle("elsewhere/Quorvane浏览器 1.7.app", "1.7");
  fs::create_directory_symlink(root() + "/elsewhere/Quorvane浏览器 1.7.app",
                               root() + "/Apps/Quorvane浏览器 1.7.app");

  EXPECT_EQ(found(url("Apps/Quorvane浏览器 9.app")),
            (std::vector<std::string>{"Apps/Quorvane浏览器 1.2.app 1.2",
                                      "Apps/Quorvane浏览器 10.app 1.0",
                                      "Apps/Quorvane浏览器.app 1.5"}));
}

TEST_F(ObsoleteCopiesTest, VersionsCompareAsNumbers) {
  source_ = verify(bundle("Downloads/Quorvane浏览器 1.10.app", "1.10"));
  bundle("Apps/Quorvane浏览器 1.9.app", "1.9");
  bundle("Apps/Quorvane浏览器 1.10.app", "1.10");
  bundle("Apps/Quorvane浏览器 1.10.0.app", "1.10.0");
  bundle("Apps/Quorvane浏览器 1.10.1.app", "1.10.1");
  EXPECT_EQ(found(url("Apps/Quorvane浏览器.app")),
            (std::vector<std::string>{"Apps/Quorvane浏览器 1.9.app 1.9"}));
}

TEST_F(ObsoleteCopiesTest, TheInstallationTheSourceAndExcludedLocationsAreNeverReturned) {
  const FileURL destination = bundle("Apps/Quorvane浏览器.app", "1.0");
  source_ = verify(bundle("Apps/Quorvane浏览器 2.0.app", "2.0"));
  const FileURL current = bundle("Apps/Quorvane浏览器 1.1.app", "1.1");
  bundle("Apps/Quorvane浏览器 1.2.app", "1.2");
  EXPECT_EQ(found(destination, {current, url("Apps/.qrvx-update-X/Quorvane浏览器.app")}),
            (std::vector<std::string>{"Apps/Quorvane浏览器 1.2.app 1.2"}));
}

TEST_F(ObsoleteCopiesTest, NestedRunningAndDataCopiesAreDroppedBeforeTheCostlyCheck) {
  buildFolder("qrvx-browser-test.app");
  bundle("tmp/qrvx-browser-test.app/Quorvane浏览器 1.0.app", "1.0");
  buildFolder("qrvx-browser-1");
  bundle("tmp/qrvx-browser-1/Quorvane浏览器 1.1.app", "1.1");
  running_.add(80, url("tmp/qrvx-browser-1/Quorvane浏览器 1.1.app"), QRVX_BROWSER_IDENTIFIER);
  bundle("tmp/qrvx-browser-1/Quorvane浏览器 1.2.app", "1.2");
  clock_.environment_["QRVX_DATA_ROOT"] = root() + "/tmp/qrvx-browser-1/Quorvane浏览器 1.2.app";
  bundle("tmp/qrvx-browser-1/Quorvane浏览器 1.3.app", "1.3");
  bundle("tmp/qrvx-browser-1/Other.app", "1.0");
  bundle("home/Applications/Quorvane浏览器.app", "1.9");  // the destination itself

  EXPECT_EQ(found(userApplications()),
            (std::vector<std::string>{"tmp/qrvx-browser-1/Quorvane浏览器 1.3.app 1.3"}));
  EXPECT_EQ(tools_->signatureChecks(), 1) << "only the copy that passed every cheaper test";
}

TEST_F(ObsoleteCopiesTest, BuildCopiesCountOnlyForTheUsersOwnApplicationsFolder) {
  buildFolder("qrvx-cef-1");
  bundle("tmp/qrvx-cef-1/Quorvane浏览器 1.0.app", "1.0");
  bundle("Apps/Quorvane浏览器 1.1.app", "1.1");
  EXPECT_EQ(found(url("Apps/Quorvane浏览器.app")),
            (std::vector<std::string>{"Apps/Quorvane浏览器 1.1.app 1.1"}));

  // A missing Applications folder lists nothing, but is still the user's.
  EXPECT_EQ(found(userApplications()),
            (std::vector<std::string>{"tmp/qrvx-cef-1/Quorvane浏览器 1.0.app 1.0"}));

  // With no home folder to be found, no folder is the user's.
  files_->homeFails_ = true;
  EXPECT_EQ(found(userApplications()), std::vector<std::string>{});
  files_->homeFails_ = false;

  // The same folder reached through a link.
  fs::create_directories(root() + "/home/Applications");
  fs::create_directory_symlink(root() + "/home/Applications", root() + "/linked");
  bundle("home/Applications/Quorvane浏览器 1.2.app", "1.2");
  EXPECT_EQ(found(url("linked/Quorvane浏览器.app")),
            (std::vector<std::string>{"home/Applications/Quorvane浏览器 1.2.app 1.2",
                                      "tmp/qrvx-cef-1/Quorvane浏览器 1.0.app 1.0"}));
}

TEST_F(ObsoleteCopiesTest, APathListedTwiceIsReturnedOnce) {
  // The user's Applications folder is itself a build folder.
  buildFolder("qrvx-browser-apps");
  fs::create_directory_symlink(temporary() + "/qrvx-browser-apps", root() + "/home/Applications");
  bundle("tmp/qrvx-browser-apps/Quorvane浏览器 1.0.app", "1.0");
  EXPECT_EQ(found(userApplications()),
            (std::vector<std::string>{"tmp/qrvx-browser-apps/Quorvane浏览器 1.0.app 1.0"}));
  EXPECT_EQ(tools_->signatureChecks(), 1);
}

TEST_F(ObsoleteCopiesTest, PathsSortByComposedCodePointsAndEquivalentPathsCountOnce) {
  // Listed as bytes, the decomposed "e" comes before "f"; composed, "é" sorts after it.
  buildFolder("qrvx-browser-" + decomposedE);
  bundle("tmp/qrvx-browser-" + decomposedE + "/Quorvane浏览器 1.1.app", "1.1");
  buildFolder("qrvx-browser-" + composedE);
  bundle("tmp/qrvx-browser-" + composedE + "/Quorvane浏览器 1.1.app", "1.2");
  buildFolder("qrvx-browser-f");
  bundle("tmp/qrvx-browser-f/Quorvane浏览器 1.0.app", "1.0");

  EXPECT_EQ(found(userApplications()),
            (std::vector<std::string>{
                "tmp/qrvx-browser-f/Quorvane浏览器 1.0.app 1.0",
                // Of the two equivalent paths the one listed first stays.
                "tmp/qrvx-browser-" + decomposedE + "/Quorvane浏览器 1.1.app 1.1",
            }));
}

}  // namespace
}  // namespace installer
