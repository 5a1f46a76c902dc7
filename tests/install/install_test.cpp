#include "install/install.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "entry/constants.h"
#include "platform/platform_error.h"
#include "tests/install/install_test_support.h"
#include "tests/retire/retire_test_support.h"

namespace installer {
namespace {

namespace fs = std::filesystem;

class InstallTest : public testing::TransactionTest {
 protected:
  InstallTest() {
    // A confirmed dialog, and a workspace whose launches start an instance
    // that stays up unless a test says otherwise.
    application_.responses_ = {alertFirstButtonReturn};
    workspace_.onOpen_ = [this](testing::FakeWorkspace::Request& request) {
      if (!launchesStart_) {
        request.completion(nullptr, nullptr);
        return;
      }
      auto instance = running(nextPid_++, request.bundle);
      instance->onTerminate_ = [](testing::FakeRunningApplication& self) { self.terminated_ = true; };
      if (onLaunched_) onLaunched_(*instance);
      request.completion(instance, nullptr);
    };
  }

  std::vector<std::string> stagingDirectories() const {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(destination().deletingLastPathComponent().path())) {
      if (entry.path().filename().string().starts_with(".qrvx-update-")) {
        found.push_back(entry.path().string());
      }
    }
    return found;
  }
  ino_t inodeOf(const FileURL& location) const {
    struct stat status {};
    return lstat(location.path().c_str(), &status) == 0 ? status.st_ino : 0;
  }
  /// Whether another installer could take the install lock now.
  bool lockIsFree() const {
    int descriptor = open(destination().deletingLastPathComponent().path().c_str(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    bool free = descriptor >= 0 && flock(descriptor, LOCK_EX | LOCK_NB) == 0;
    if (descriptor >= 0) close(descriptor);
    return free;
  }
  /// Replaces the system tools with scripts; `copyScript` stands in for cp.
  void useTools(const std::string& copyScript) {
    fs::create_directories(root() + "/helpers");
    testing::writeFile(root() + "/helpers/cp", "#!/bin/sh\n" + copyScript + "\n");
    testing::writeFile(root() + "/helpers/codesign",
                       std::string("#!/bin/sh\nexec '") + HELPERS_DIR + "/codesign' \"$@\"\n");
    chmod((root() + "/helpers/cp").c_str(), 0755);
    chmod((root() + "/helpers/codesign").c_str(), 0755);
    tools_ = std::make_unique<host::HostChildProcesses>(root() + "/helpers");
    services_.childProcesses = tools_.get();
    installServices(services_);
  }

  bool launchesStart_ = true;
  int nextPid_ = 500;
  std::function<void(testing::FakeRunningApplication&)> onLaunched_;
  std::unique_ptr<host::HostChildProcesses> tools_;
};

TEST_F(InstallTest, AFreshInstallationPutsTheVerifiedCopyInPlaceAndLaunchesIt) {
  bundle(source(), "2.0");
  fs::remove_all(root() + "/Applications");  // created on the way, with its ancestors

  int activitiesWhileLaunching = 0;
  onLaunched_ = [&](testing::FakeRunningApplication&) {
    activitiesWhileLaunching = clock_.activitiesHeld_;
  };
  install(options());

  EXPECT_EQ(verify(destination()).version, "2.0");
  EXPECT_NE(inodeOf(destination()), inodeOf(source())) << "a copy, not the source itself";
  ASSERT_EQ(workspace_.requests_.size(), 1u);
  EXPECT_EQ(workspace_.requests_[0].bundle.path(), destination().path());
  EXPECT_TRUE(workspace_.requests_[0].configuration.createsNewApplicationInstance);
  EXPECT_TRUE(stagingDirectories().empty());
  EXPECT_TRUE(lockIsFree());
  EXPECT_EQ(activitiesWhileLaunching, 1) << "no nap while the launch is watched";
  EXPECT_EQ(clock_.activitiesHeld_, 0);
}

// Only the publisher's signature vouches for a download; without a publisher
// the mark stays, for the system's own first-launch check.
TEST_F(InstallTest, TheInstalledCopyLosesTheDownloadsQuarantineMarkOnlyWhenThePublisherIsChecked) {
  bundle(source(), "2.0");
  const char* mark = "user.com.apple.quarantine";
  const std::string page = "/Contents/Resources/page.html";
  for (const std::string& item : {source().path(), source().path() + page}) {
    if (lsetxattr(item.c_str(), mark, "0083;", 5, 0) != 0) {
      GTEST_SKIP() << "no user extended attributes where the tests run: " << root();
    }
  }
  install(options());
  for (const std::string& item : {destination().path(), destination().path() + page}) {
    EXPECT_EQ(lgetxattr(item.c_str(), mark, nullptr, 0) < 0, !publisherRequirement().empty())
        << item;
  }
  EXPECT_EQ(lgetxattr(source().path().c_str(), mark, nullptr, 0), 5) << "the source keeps it";
}

TEST_F(InstallTest, DecliningChangesNothing) {
  bundle(source(), "2.0");
  fs::remove_all(root() + "/Applications");
  const auto before = tree();
  application_.responses_ = {1001};
  install(options());
  EXPECT_EQ(tree(), before);
  EXPECT_TRUE(workspace_.requests_.empty());
  EXPECT_TRUE(clock_.activitiesBegun_.empty());
}

TEST_F(InstallTest, ASecondInstallerIsRefusedAndCreatesNothing) {
  bundle(source(), "2.0");
  int held = open((root() + "/Applications").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
  EXPECT_EQ(failureOf([&] { install(options()); }), "另一个安装程序正在运行。");
  close(held);
  EXPECT_TRUE(stagingDirectories().empty());
  EXPECT_FALSE(fs::exists(destination().path()));
}

TEST_F(InstallTest, AFailedOrFalseCopyLeavesNoStagingDirectoryAndReleasesTheLock) {
  bundle(source(), "2.0");
  bundle(destination(), "1.0");
  const ino_t installed = inodeOf(destination());

  useTools("exit 1");
  EXPECT_EQ(failureOf([&] { install(options()); }), "无法准备新版浏览器。");
  EXPECT_TRUE(stagingDirectories().empty());
  EXPECT_TRUE(lockIsFree());

  // A copy tool that leaves something unverifiable behind.
  application_.responses_ = {alertFirstButtonReturn};
  useTools("mkdir \"$3\"");
  std::string failure = failureOf([&] { install(options()); });
  EXPECT_TRUE(failure.starts_with("不是可识别的Quorvane浏览器应用包。\n" + root() + "/Applications/.qrvx-update-"))
      << failure;
  EXPECT_TRUE(stagingDirectories().empty());
  EXPECT_TRUE(lockIsFree());
  EXPECT_EQ(inodeOf(destination()), installed);

  // A verified copy whose quarantine mark cannot be taken off (only a
  // publisher's build takes it off).
  testing::TestFileManager refusing(hostFiles_, root(), root() + "/Trash");
  if (!publisherRequirement().empty()) {
    application_.responses_ = {alertFirstButtonReturn};
    refusing.quarantineRefuses_ = true;
    services_.childProcesses = &hostChildProcesses_;
    services_.files = &refusing;
    installServices(services_);
    EXPECT_EQ(failureOf([&] { install(options()); }), "无法准备新版浏览器。");
    EXPECT_TRUE(stagingDirectories().empty());
    EXPECT_TRUE(lockIsFree());
    EXPECT_EQ(clock_.activitiesHeld_, 0);
  }

  // A copy that verifies but cannot be put on the disk.
  application_.responses_ = {alertFirstButtonReturn};
  services_.files = &hostFiles_;
  services_.childProcesses = &hostChildProcesses_;
  installServices(services_);
  durability_.onFlush_ = [](const std::string&) {
    throw PlatformError("Could not flush: I/O error");
  };
  EXPECT_EQ(failureOf([&] { install(options()); }), "无法准备新版浏览器。");
  EXPECT_TRUE(stagingDirectories().empty());
  EXPECT_TRUE(lockIsFree());
  EXPECT_EQ(inodeOf(destination()), installed);
}

TEST_F(InstallTest, TheStagingDirectoryIsPrivateAndNewEachRun) {
  bundle(source(), "2.0");
  std::vector<std::string> seen;
  onLaunched_ = [&](testing::FakeRunningApplication&) {
    for (const std::string& staging : stagingDirectories()) {
      struct stat status {};
      lstat(staging.c_str(), &status);
      EXPECT_EQ(status.st_mode & 07777, 0700u) << staging;
      seen.push_back(fs::path(staging).filename().string());
    }
  };
  install(options());
  ASSERT_EQ(seen.size(), 1u);
  const std::string name = seen[0];
  ASSERT_EQ(name.size(), std::string(".qrvx-update-").size() + 36) << name;
  for (char c : name.substr(13)) EXPECT_TRUE(c == '-' || std::isdigit(c) || (c >= 'A' && c <= 'F')) << name;
}

TEST_F(InstallTest, AnUpdateQuitsTheOldBrowserAndExchangesTheBundles) {
  bundle(source(), "2.0");
  bundle(destination(), "1.0");
  const ino_t oldInode = inodeOf(destination());
  auto old = running(40, destination());
  old->onTerminate_ = [](testing::FakeRunningApplication& self) { self.terminated_ = true; };

  ino_t stagedWhileLaunching = 0;
  std::vector<std::string> flushedBeforeLaunch, expectedFlushes;
  onLaunched_ = [&](testing::FakeRunningApplication&) {
    auto staging = stagingDirectories();
    ASSERT_EQ(staging.size(), 1u);
    stagedWhileLaunching = inodeOf(FileURL::fromAbsolutePath(staging[0] + "/Quorvane浏览器.app"));
    flushedBeforeLaunch = durability_.flushes_;
    expectedFlushes = {"tree " + staging[0] + "/Quorvane浏览器.app",
                       "directories " + root() + "/Applications " + staging[0]};
  };
  install(options());
  EXPECT_EQ(flushedBeforeLaunch, expectedFlushes)
      << "the copy, then the exchange, before the launch";

  EXPECT_EQ(old->terminateRequests_, 1);
  EXPECT_EQ(verify(destination()).version, "2.0");
  EXPECT_EQ(stagedWhileLaunching, oldInode)
      << "the old bundle waits in the staging directory while the new one starts";
  EXPECT_EQ(workspace_.requests_.size(), 1u);
}

TEST_F(InstallTest, AnOldBrowserThatWillNotQuitCancelsBeforeAnythingIsExchanged) {
  bundle(source(), "2.0");
  bundle(destination(), "1.0");
  const ino_t oldInode = inodeOf(destination());
  running(41, destination());  // ignores the request
  EXPECT_EQ(failureOf([&] { install(options()); }),
            "旧浏览器尚未正常退出，安装已取消。请完成浏览器中的操作后重试。");
  EXPECT_EQ(inodeOf(destination()), oldInode);
  EXPECT_TRUE(stagingDirectories().empty());
  EXPECT_TRUE(workspace_.requests_.empty());
  EXPECT_GE(clock_.now_, 1000.0 + 25.0);
}

TEST_F(InstallTest, ChangesWhileTheDialogWasOpenEndTheInstallation) {
  const std::string changed = "确认后应用或进程已发生变化，请重新打开安装程序。";
  const std::string reopened = "未完成安装，旧版仍在原位置。\n旧浏览器重新打开了，无法完成替换。";
  const FileURL other = url("Other/Quorvane浏览器.app");
  const struct {
    const char* what;
    /// The current copy named on the command line, made as version 1.0.
    std::optional<FileURL> current;
    /// Runs before the installation starts.
    std::function<void()> arrange;
    /// Runs while the dialog is shown.
    std::function<void()> change;
    std::string expected;
  } cases[] = {
      {"the source was replaced", std::nullopt, nullptr,
       [this] {
         fs::rename(source().path(), root() + "/Downloads/moved.app");
         bundle(source(), "2.0");
       },
       changed},
      {"the source changed its version in place", std::nullopt, nullptr,
       [this] { bundle(source(), "2.1"); }, changed},
      {"the source was re-sealed in place with other content", std::nullopt, nullptr,
       [this] {
         testing::writeFile(source().path() + "/Contents/Resources/page.html", "<p>other</p>\n");
         hostChildProcesses_.run("/usr/bin/codesign",
                                 {"-s", testing::signingIdentity(), "-f", source().path()});
       },
       changed},
      {"the installed bundle was replaced", std::nullopt, nullptr,
       [this] {
         // Kept aside, so the new directory cannot reuse its inode.
         fs::rename(destination().path(), root() + "/Downloads/aside.app");
         bundle(destination(), "1.0");
       },
       changed},
      {"the current copy was replaced", other, nullptr,
       [&] {
         fs::rename(other.path(), root() + "/Downloads/aside.app");
         bundle(other, "1.0");
       },
       changed},
      {"a browser was started", std::nullopt, nullptr,
       [this] { running(60, url("Else/Quorvane浏览器.app")); }, changed},
      {"a browser was started at the destination while another copy is current", other, nullptr,
       [this] { running(62, destination()); }, changed},
      {"the running browser was quit", std::nullopt, [this] { running(61, destination()); },
       [this] { running_.instances_.clear(); }, changed},
      // Nothing is exchanged, and the reopened browser is not started twice.
      {"the old browser reopened once it had quit", destination(),
       [this] {
         running(63, destination())->onTerminate_ = [this](testing::FakeRunningApplication& self) {
           self.terminated_ = true;
           running(64, destination());
         };
       },
       nullptr, reopened},
  };
  for (const auto& c : cases) {
    fs::remove_all(root() + "/Downloads");
    fs::remove_all(root() + "/Applications");
    fs::remove_all(root() + "/Other");
    bundle(source(), "2.0");
    bundle(destination(), "1.0");
    if (c.current && *c.current != destination()) bundle(*c.current, "1.0");
    running_.instances_.clear();
    workspace_.requests_.clear();
    if (c.arrange) c.arrange();
    application_.responses_ = {alertFirstButtonReturn};
    application_.whileShown_ = [&](const Alert&) {
      if (c.change) c.change();
    };
    const ino_t installed = inodeOf(destination());
    EXPECT_EQ(failureOf([&] { install(options(c.current)); }), c.expected) << c.what;
    EXPECT_TRUE(stagingDirectories().empty()) << c.what;
    if (std::string(c.what) != "the installed bundle was replaced") {
      EXPECT_EQ(inodeOf(destination()), installed) << c.what;
    }
    EXPECT_TRUE(workspace_.requests_.empty()) << c.what;
  }
}

TEST_F(InstallTest, AFailedLaunchPutsTheOldBundleBackAndRestartsTheOldBrowser) {
  bundle(source(), "2.0");
  bundle(destination(), "1.0");
  const ino_t oldInode = inodeOf(destination());
  auto old = running(40, destination());
  old->onTerminate_ = [](testing::FakeRunningApplication& self) { self.terminated_ = true; };
  // The new browser starts and ends within a second, so it is never accepted.
  std::vector<std::shared_ptr<testing::FakeRunningApplication>> started;
  std::vector<std::string> flushedBeforeRestart;
  onLaunched_ = [&](testing::FakeRunningApplication& instance) {
    if (workspace_.requests_.size() == 1) {
      runLoop_.at(clock_.now_ + 1.0, [&instance] { instance.terminated_ = true; });
    }
    flushedBeforeRestart = durability_.flushes_;
  };

  EXPECT_EQ(failureOf([&] { install(options()); }),
            "未完成安装，旧版仍在原位置。\n浏览器启动未完成或启动时退出。");
  EXPECT_EQ(inodeOf(destination()), oldInode);
  EXPECT_EQ(verify(destination()).version, "1.0");
  ASSERT_EQ(workspace_.requests_.size(), 2u) << "the new browser, then the old one again";
  EXPECT_EQ(workspace_.requests_[1].bundle.path(), destination().path());
  ASSERT_EQ(flushedBeforeRestart.size(), 3u) << "the copy, the exchange and its reversal";
  EXPECT_EQ(flushedBeforeRestart[2], flushedBeforeRestart[1]);
  EXPECT_TRUE(stagingDirectories().empty());
  EXPECT_TRUE(lockIsFree());
}

TEST_F(InstallTest, AnExchangeThatCannotBeFlushedIsReversedBeforeAnythingStarts) {
  bundle(source(), "2.0");
  bundle(destination(), "1.0");
  const ino_t oldInode = inodeOf(destination());
  int directoryFlushes = 0;
  durability_.onFlush_ = [&](const std::string& entry) {
    if (entry.starts_with("directories") && ++directoryFlushes == 1)
      throw PlatformError("Could not flush directory: I/O error");
  };
  EXPECT_EQ(failureOf([&] { install(options()); }),
            "未完成安装，旧版仍在原位置。\nCould not flush directory: I/O error");
  EXPECT_EQ(inodeOf(destination()), oldInode);
  EXPECT_EQ(directoryFlushes, 2) << "the reversal is flushed too";
  EXPECT_TRUE(workspace_.requests_.empty());
  EXPECT_TRUE(stagingDirectories().empty());
}

TEST_F(InstallTest, AFreshInstallationWhoseLaunchFailsLeavesTheDestinationEmpty) {
  bundle(source(), "2.0");
  launchesStart_ = false;
  EXPECT_EQ(failureOf([&] { install(options()); }),
            "未完成安装，旧版仍在原位置。\nmacOS 未能打开浏览器。");
  EXPECT_FALSE(fs::exists(destination().path()));
  EXPECT_TRUE(stagingDirectories().empty());
  EXPECT_EQ(workspace_.requests_.size(), 1u) << "nothing ran before, so nothing is restarted";
}

TEST_F(InstallTest, AFailedRecoveryKeepsTheBackupAndNamesIt) {
  const std::string notStarted = "浏览器启动未完成或启动时退出。";
  const struct {
    const char* what;
    /// Runs as the new browser is opened, with the instance it starts.
    std::function<void(testing::FakeRunningApplication&)> duringLaunch;
    std::string launchError;
    std::string recoveryError;
    bool oldBundleInBackup;
  } cases[] = {
      {"something else took the destination's place",
       [this](testing::FakeRunningApplication& instance) {
         instance.terminated_ = true;
         fs::rename(destination().path(), root() + "/Downloads/taken.app");
         fs::create_directories(destination().path());
       },
       notStarted, "安装位置已发生变化。", true},
      {"a reported instance will not quit",
       [](testing::FakeRunningApplication& instance) {
         instance.finishedLaunching_ = false;
         instance.onTerminate_ = nullptr;
       },
       notStarted, "旧浏览器尚未正常退出，安装已取消。请完成浏览器中的操作后重试。", true},
      {"another browser runs from the destination once the reported one quit",
       [this](testing::FakeRunningApplication& instance) {
         instance.finishedLaunching_ = false;
         instance.onTerminate_ = [this](testing::FakeRunningApplication& self) {
           self.terminated_ = true;
           running(90, destination())->finishedLaunching_ = false;
         };
       },
       notStarted, "安装位置的浏览器仍在运行。", true},
      {"the old bundle in the staging directory was replaced",
       [this](testing::FakeRunningApplication& instance) {
         instance.terminated_ = true;
         const std::string staged = stagingDirectories().at(0) + "/Quorvane浏览器.app";
         fs::rename(staged, root() + "/Downloads/aside.app");
         fs::create_directories(staged);
       },
       notStarted, "旧版备份已发生变化。", false},
  };
  for (const auto& c : cases) {
    fs::remove_all(root() + "/Downloads");
    fs::remove_all(root() + "/Applications");
    bundle(source(), "2.0");
    bundle(destination(), "1.0");
    running_.instances_.clear();
    application_.responses_ = {alertFirstButtonReturn};
    const ino_t oldInode = inodeOf(destination());
    onLaunched_ = c.duringLaunch;

    std::string failure = failureOf([&] { install(options()); });
    auto staging = stagingDirectories();
    ASSERT_EQ(staging.size(), 1u) << c.what;
    EXPECT_EQ(failure, "新版未能启动。\n" + c.launchError + "\n自动恢复失败。\n" + c.recoveryError +
                           "\n备份位置\n" + staging[0])
        << c.what;
    if (c.oldBundleInBackup) {
      EXPECT_EQ(inodeOf(FileURL::fromAbsolutePath(staging[0] + "/Quorvane浏览器.app")), oldInode)
          << c.what;
    }
    EXPECT_TRUE(lockIsFree()) << c.what;
  }
}

TEST_F(InstallTest, LeftoversOfInterruptedRunsGoToTheTrashWithoutEndingTheInstallation) {
  testing::TestFileManager files(hostFiles_, root() + "/home", root() + "/Trash");
  services_.files = &files;
  installServices(services_);
  const std::string uuid = "0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0", other = "2" + uuid.substr(1);
  const std::string lower = "0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0";
  const std::string apps = root() + "/Applications/.qrvx-update-", leftover = apps + uuid;
  const FileURL leftBundle = FileURL::fromAbsolutePath(leftover + "/Quorvane浏览器.app");
  const std::string putAway = "上次中断的安装留下的以下副本已移到废纸篓。\n";
  const auto makeLeftover = [&] { bundle(leftBundle, "1.0"); };
  const struct {
    const char* what;
    std::optional<std::string> installed;
    /// Makes what an interrupted run left, or what merely looks like it.
    std::function<void()> arrange;
    bool trashRefuses, anotherUser;
    /// The names after ".qrvx-update-" there afterwards, and the report.
    std::vector<std::string> remaining;
    std::string report;
    /// Refused before anything is touched instead.
    std::string failure{};
  } cases[] = {
      {"the old copy after an exchange",
       "1.5",
       makeLeftover,
       false,
       false,
       {},
       putAway + leftBundle.path()},
      {"a staged new copy and folder metadata",
       "1.0",
       [&] {
         bundle(leftBundle, "2.0");
         testing::writeFile(leftover + "/.DS_Store", "");
       },
       false,
       false,
       {},
       putAway + leftBundle.path()},
      {"an empty one",
       std::nullopt,
       [&] { fs::create_directories(leftover); },
       false,
       false,
       {},
       ""},
      {"one the Trash refuses",
       std::nullopt,
       makeLeftover,
       true,
       false,
       {uuid},
       "上次中断的安装留下的以下副本暂未能移到废纸篓。\n" + leftBundle.path()},
      // Unless root made them, the folder is then another user's too, and refused.
      {"another user's",
       std::nullopt,
       makeLeftover,
       false,
       true,
       {uuid},
       "",
       ::getuid() == 0 ? "" : "安装位置所在的文件夹可被其他用户修改，无法安全安装。"},
      // Names this installer never makes, a folder others may write, a link to it, a file.
      {"look-alikes",
       std::nullopt,
       [&] {
         for (const std::string& name : {std::string(), lower, other, uuid + "0"}) {
           bundle(FileURL::fromAbsolutePath(apps + name + "/Quorvane浏览器.app"), "1.0");
         }
         fs::permissions(apps + other, fs::perms(0777));
         fs::create_directory_symlink(apps + other, leftover);
         testing::writeFile(apps + "3" + uuid.substr(1), "");
       },
       false,
       false,
       {"", uuid, uuid + "0", lower, other, "3" + uuid.substr(1)},
       ""},
  };
  bundle(source(), "2.0");
  for (const auto& c : cases) {
    fs::remove_all(root() + "/Applications");
    if (c.installed) bundle(destination(), *c.installed);
    c.arrange();
    files.trashRefuses_ = c.trashRefuses;
    running_.instances_.clear();
    posix_.uid_.reset();
    if (c.anotherUser) posix_.uid_ = 4242;
    application_.responses_ = {alertFirstButtonReturn};
    application_.alertsShown_.clear();
    std::vector<int> activitiesWhileShown;
    application_.whileShown_ = [&](const Alert&) {
      activitiesWhileShown.push_back(clock_.activitiesHeld_);
    };

    EXPECT_EQ(failureOf([&] { install(options()); }), c.failure) << c.what;
    EXPECT_EQ(activitiesWhileShown, std::vector<int>(activitiesWhileShown.size(), 0)) << c.what;
    if (c.failure.empty()) {
      EXPECT_EQ(verify(destination()).version, "2.0") << c.what;
    }
    std::vector<std::string> remaining;
    for (const std::string& staging : stagingDirectories())
      remaining.push_back(staging.substr(apps.size()));
    std::sort(remaining.begin(), remaining.end());
    EXPECT_EQ(remaining, c.remaining) << c.what;
    EXPECT_TRUE(c.remaining.empty() || fs::exists(leftBundle.path())) << c.what;
    // The confirmation, then the report when there is one.
    ASSERT_EQ(application_.alertsShown_.size(), c.failure.empty() ? c.report.empty() ? 1u : 2u : 0u)
        << c.what;
    if (!c.report.empty()) {
      EXPECT_EQ(application_.alertsShown_[1].informativeText, c.report) << c.what;
    }
  }
}

}  // namespace
}  // namespace installer
