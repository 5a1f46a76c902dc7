#include "inspect/bundle_info.h"

#include <sys/stat.h>

#include <filesystem>
#include <functional>

#include "entry/installer_error.h"
#include "platform/platform_error.h"
#include "tests/support/platform_test.h"

namespace installer {
namespace {

namespace fs = std::filesystem;

class VerifyTest : public testing::PlatformTest {
 protected:
  std::string unrecognised(const std::string& path) {
    return "不是可识别的Quorvane浏览器应用包。\n" + path;
  }
  /// The message `verify` raises for `path`, or "" when it passes.
  std::string failureOf(const std::string& path) {
    try {
      verify(FileURL::fromAbsolutePath(path));
      return "";
    } catch (const InstallerError& error) {
      return error.errorDescription().value_or("(none)");
    }
  }
};

TEST_F(VerifyTest, ASealedBrowserBundleVerifies) {
  const std::string path = root() + "/Quorvane浏览器.app";
  testing::makeBundle(path, {.version = PropertyValue("2.1.0")});
  struct stat status;
  ASSERT_EQ(lstat(path.c_str(), &status), 0);

  BundleInfo info = verify(FileURL::fromAbsolutePath(path));
  EXPECT_EQ(info.url.path(), path);
  EXPECT_EQ(info.version, "2.1.0");
  EXPECT_EQ(info.versionNumbers, (VersionNumbers{2, 1, 0, 0}));
  EXPECT_EQ(info.device, static_cast<std::int64_t>(status.st_dev));
  EXPECT_EQ(info.inode, status.st_ino);
}

TEST_F(VerifyTest, StructuralFaultsAreAllTheUnrecognisedBundle) {
  const struct {
    const char* name;
    testing::BundleSpec spec;
  } cases[] = {
      {"wrong identifier.app", {.identifier = PropertyValue("com.example.other")}},
      {"identifier case.app", {.identifier = PropertyValue("COM.QUORVANE.BROWSER")}},
      {"identifier number.app", {.identifier = PropertyValue(std::int64_t{7})}},
      {"no identifier.app", {.identifier = std::nullopt}},
      {"other executable.app", {.executable = PropertyValue("Quorvane")}},
      {"no executable.app", {.executable = std::nullopt}},
      {"climbing executable.app", {.executable = PropertyValue("../../../Quorvane浏览器")}},
      {"version words.app", {.version = PropertyValue("1.2 beta")}},
      {"version number.app", {.version = PropertyValue(std::int64_t{12})}},
      {"version real.app", {.version = PropertyValue(1.5)}},
      {"version five.app", {.version = PropertyValue("1.2.3.4.5")}},
      {"no version.app", {.version = std::nullopt}},
  };
  for (const auto& c : cases) {
    const std::string path = root() + "/" + c.name;
    testing::makeBundle(path, c.spec);
    EXPECT_EQ(failureOf(path), unrecognised(path)) << c.name;
  }
}

TEST_F(VerifyTest, OnlyARealDirectoryNamedDotAppIsABundle) {
  const std::string bundle = root() + "/Quorvane浏览器.app";
  testing::makeBundle(bundle);
  const std::string link = root() + "/Link.app";
  fs::create_symlink(bundle, link);
  const std::string upper = root() + "/Quorvane浏览器.APP";
  testing::makeBundle(upper);
  const std::string bare = root() + "/Quorvane浏览器";
  testing::makeBundle(bare);
  const std::string file = root() + "/File.app";
  testing::writeFile(file, "not a bundle");
  const std::string empty = root() + "/Empty.app";
  fs::create_directory(empty);
  const std::string brokenPlist = root() + "/Broken.app";
  testing::makeBundle(brokenPlist);
  testing::writeFile(brokenPlist + "/Contents/Info.plist", "<plist><dict><key>");

  for (const std::string& path :
       {link, upper, bare, file, empty, brokenPlist, root() + "/Missing.app"}) {
    EXPECT_EQ(failureOf(path), unrecognised(path)) << path;
  }
}

TEST_F(VerifyTest, ABrokenSealIsTheSignatureFailure) {
  const std::string changed = root() + "/Changed.app";
  testing::makeBundle(changed);
  testing::writeFile(changed + "/Contents/Resources/page.html", "<p>changed</p>\n");
  const std::string added = root() + "/Added.app";
  testing::makeBundle(added);
  testing::writeFile(added + "/Contents/Resources/extra.js", "1");
  const std::string unsealed = root() + "/Unsealed.app";
  testing::makeBundle(unsealed, {.seal = false});
  for (const std::string& path : {changed, added, unsealed}) {
    EXPECT_EQ(failureOf(path), "应用签名校验失败。\n" + path) << path;
  }
}

TEST_F(VerifyTest, WhatCouldRunOtherCodeIsTheSignatureFailureOfAnInstallableBundle) {
  const auto chmodded = [](const char* relative, fs::perms bits) {
    return [=](const std::string& bundle) {
      fs::permissions(bundle + relative, bits, fs::perm_options::add);
    };
  };
  const struct {
    const char* name;
    std::function<void(const std::string&)> change;
    bool existingCopyVerifies;
  } cases[] = {
      {"Group.app", chmodded("/Contents/Resources/page.html", fs::perms::group_write), true},
      {"Others.app", chmodded("", fs::perms::others_write), true},
      {"Setuid.app", chmodded("/Contents/MacOS/Quorvane浏览器", fs::perms::set_uid), true},
      // Each link's text stays inside; the chain, resolved, leaves.
      {"Link chain.app",
       [this](const std::string& bundle) {
         testing::writeFile(root() + "/elsewhere", "#!/bin/sh\n");
         fs::create_directories(bundle + "/Contents/Resources/a/b");
         fs::create_symlink("../..", bundle + "/Contents/Resources/a/b/up");
         const std::string executable = bundle + "/Contents/MacOS/Quorvane浏览器";
         fs::remove(executable);
         fs::create_symlink("../Resources/a/b/up/../../../elsewhere", executable);
       },
       false},
  };
  for (const auto& c : cases) {
    const std::string path = root() + "/" + c.name;
    testing::makeBundle(path);
    c.change(path);
    ASSERT_EQ(hostChildProcesses_.run("/usr/bin/codesign",
                                      {"-s", testing::signingIdentity(), "-f", path}),
              0)
        << c.name;
    try {
      verifyInstallable(FileURL::fromAbsolutePath(path));
      ADD_FAILURE() << c.name << " verified";
    } catch (const InstallerError& error) {
      EXPECT_EQ(error.errorDescription(), "应用签名校验失败。\n" + path) << c.name;
    }
    EXPECT_EQ(failureOf(path).empty(), c.existingCopyVerifies) << c.name;
  }
}

TEST_F(VerifyTest, ASignatureToolThatCannotStartPassesItsErrorOn) {
  const std::string path = root() + "/Quorvane浏览器.app";
  testing::makeBundle(path);
  host::HostChildProcesses noTools(root() + "/no-helpers");
  services_.childProcesses = &noTools;
  installServices(services_);
  EXPECT_THROW(verify(FileURL::fromAbsolutePath(path)), PlatformError);
}

class MatchesTest : public testing::PlatformTest {};

TEST_F(MatchesTest, IdentityFollowsTheDirectoryNotThePath) {
  const std::string first = root() + "/First.app";
  const std::string second = root() + "/Second.app";
  testing::makeBundle(first);
  testing::makeBundle(second);
  BundleInfo info = verify(FileURL::fromAbsolutePath(first));
  EXPECT_TRUE(info.matches(FileURL::fromAbsolutePath(first)));
  EXPECT_FALSE(info.matches(FileURL::fromAbsolutePath(second)));

  // An exchange moves the identity with the directory.
  ASSERT_EQ(hostPosix_.exchange(first, second), 0);
  EXPECT_FALSE(info.matches(FileURL::fromAbsolutePath(first)));
  EXPECT_TRUE(info.matches(FileURL::fromAbsolutePath(second)));

  // So does a move.
  const std::string moved = root() + "/Moved.app";
  fs::rename(second, moved);
  EXPECT_TRUE(info.matches(FileURL::fromAbsolutePath(moved)));
  EXPECT_FALSE(info.matches(FileURL::fromAbsolutePath(second)));

  // A copy is another directory, and a link to it is the link.
  const std::string copy = root() + "/Copy.app";
  fs::copy(moved, copy, fs::copy_options::recursive);
  EXPECT_FALSE(info.matches(FileURL::fromAbsolutePath(copy)));
  fs::create_symlink(moved, root() + "/Link.app");
  EXPECT_FALSE(info.matches(url("Link.app")));
}

}  // namespace
}  // namespace installer
