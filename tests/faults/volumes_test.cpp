// The destination on volumes as users have them, made on loop devices: a
// fresh installation and an update while the old browser runs, on each. The
// user's home and the new bundle stay on the system disk, as a download does.
//
// Measured on these volumes before the installer asked them anything: exFAT
// (exfat-fuse) and NTFS (ntfs-3g) keep no modes (every item reads 0777,
// chmod succeeds without effect) and refuse renameat2's RENAME_EXCHANGE with
// EINVAL; exFAT refuses links with ENOSYS.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdio>

#include "browser_process.h"
#include "bundle_factory.h"
#include "common.h"
#include "failure_report.h"
#include "fault_sweep.h"
#include "installation_steps.h"
#include "transaction_support.h"

namespace faults {
namespace {

const std::string cannotHold =
    "安装位置所在的磁盘无法安全保存应用（不支持权限、链接或原子替换），"
    "请把浏览器安装到系统磁盘上的“应用程序”文件夹。";
const std::string readOnly = "安装位置所在的磁盘是只读的，无法安装。";

enum class State { asMade, full, readOnly };

struct VolumeCase {
  VolumeKind kind;
  std::uintmax_t megabytes;
  State state;
  /// What the installer says after the confirmation; empty: it installs.
  std::string refusal;
};

class Volumes : public ::testing::TestWithParam<VolumeCase> {};

std::string megabytes(std::uintmax_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
  return text;
}

std::uintmax_t available(const fs::path& volume) {
  struct statvfs status {};
  ::statvfs(volume.c_str(), &status);
  return std::uintmax_t{status.f_bavail} * status.f_frsize;
}

/// What the installer must find missing: the bundle's blocks and one more per entry.
std::string spaceRefusal(const fs::path& bundle, const fs::path& volume) {
  std::uintmax_t needed = 0;
  auto add = [&](const fs::path& item) {
    struct stat status {};
    ::lstat(item.c_str(), &status);
    needed += std::uintmax_t(status.st_blocks) * 512 + 4096;
  };
  add(bundle);
  for (const auto& entry : fs::recursive_directory_iterator(bundle)) add(entry.path());
  return "安装位置所在的磁盘空间不足：需要约 " + megabytes(needed) + "，可用 " +
         megabytes(available(volume)) + "。";
}

std::string rowName(const ::testing::TestParamInfo<VolumeCase>& info) {
  const char* states[] = {"", "_full", "_read_only"};
  return std::string(nameOf(info.param.kind)) + states[static_cast<int>(info.param.state)];
}

TEST_P(Volumes, AFreshInstallationAndAnUpdateWhileRunning) {
  const VolumeCase& row = GetParam();
  if (::geteuid() != 0) GTEST_SKIP() << "skipped: volumes on loop devices need root";
  std::optional<LoopVolume> volume;
  try {
    volume.emplace(row.kind, row.megabytes);
  } catch (const e2e::HarnessError& error) {
    GTEST_SKIP() << "skipped: no " << nameOf(row.kind) << " volume here: " << error.what();
  }
  e2e::Sandbox sandbox;
  // Resources the full volume has no room for.
  const std::map<std::string, std::string> resources = {
      {"Contents/Resources/resources.pak",
       std::string(row.state == State::full ? 8 << 20 : 0, 'r')}};
  const fs::path source =
      e2e::makeBundle(sandbox.path("new") / e2e::browserBundle, {.extraFiles = resources});
  const fs::path fresh = volume->mountPoint() / "fresh" / e2e::browserBundle;
  const fs::path installed = volume->mountPoint() / "update" / e2e::browserBundle;
  fs::create_directories(fresh.parent_path());
  e2e::makeBundle(installed, {.version = std::string("1.0")});
  const ino_t oldBundle = e2e::inodeOf(installed);
  if (row.state == State::readOnly) volume->mountReadOnly();
  if (row.state == State::full) {
    // Blocks taken, not a hole: 2 MB stay free.
    int filler =
        ::open((volume->mountPoint() / "filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_EQ(::posix_fallocate(filler, 0, available(volume->mountPoint()) - (2 << 20)), 0);
    ::close(filler);
  }
  std::string refusedBefore = row.state == State::readOnly ? readOnly
                              : row.state == State::full
                                  ? spaceRefusal(source, volume->mountPoint())
                                  : "";

  for (const fs::path& destination : {fresh, installed}) {
    const bool update = destination == installed;
    SCOPED_TRACE(update ? "an update while running" : "a fresh installation");
    e2e::runCase([&] {
      std::optional<e2e::BrowserProcess> old;
      if (update) old.emplace(e2e::BrowserProcess::start(sandbox, installed));
      fs::path executable = installed / "Contents/MacOS" / e2e::browserName;
      ASSERT_TRUE(!old || e2e::waitUntil([&] {
        std::error_code error;
        return fs::read_symlink("/proc/" + std::to_string(old->pid()) + "/exe", error) ==
               executable;
      }));
      std::vector<std::string> arguments = {"--source", source.string(), "--destination",
                                            destination.string()};
      if (update) arguments.insert(arguments.end(), {"--current-app", destination.string()});
      e2e::InstallerRun run = e2e::InstallerRun::start(sandbox, {.arguments = arguments});

      if (!refusedBefore.empty()) {
        e2e::expectFailureReport(run, refusedBefore);
      } else {
        e2e::confirmWithReturn(run, update ? "退出并更新" : "安装");
        if (row.refusal.empty()) {
          e2e::expectQuietSuccess(run);
        } else {
          e2e::expectFailureAfterConfirmation(run, row.refusal);
        }
      }
      bool installs = refusedBefore.empty() && row.refusal.empty();
      EXPECT_EQ(e2e::stagingFolders(destination.parent_path()), std::vector<fs::path>{});
      if (installs) {
        EXPECT_EQ(e2e::infoString(destination, "CFBundleShortVersionString"), PROJECT_VERSION);
        EXPECT_TRUE(e2e::bundleVerifies(destination));
        EXPECT_TRUE(!old || old->waitForExit()) << "the old browser was not quit";
      } else {
        EXPECT_EQ(fs::exists(destination), update) << "the destination changed";
        EXPECT_TRUE(!update || e2e::inodeOf(destination) == oldBundle)
            << "the old bundle was replaced";
        EXPECT_TRUE(!old || !old->hasEnded()) << "the old browser was quit";
        EXPECT_EQ(std::distance(fs::directory_iterator(destination.parent_path()), {}),
                  update ? 1 : 0)
            << "something was left beside the destination";
      }
      sandbox.killProcessesInside();
    });
  }
}

INSTANTIATE_TEST_SUITE_P(
    , Volumes,
    ::testing::Values(VolumeCase{VolumeKind::xfs, 300, State::asMade, ""},
                      VolumeCase{VolumeKind::btrfs, 128, State::asMade, ""},
                      VolumeCase{VolumeKind::exfat, 64, State::asMade, cannotHold},
                      VolumeCase{VolumeKind::ntfs, 64, State::asMade, cannotHold},
                      VolumeCase{VolumeKind::ext4, 64, State::full, ""},
                      VolumeCase{VolumeKind::ext4, 64, State::readOnly, ""}),
    rowName);

}  // namespace
}  // namespace faults
