// The destination on real volumes users have, the home and the download on
// the system disk: a fresh installation and an update while running, on each.
// Seen on exFAT (exfat-fuse) and NTFS (ntfs-3g) here: every item reads 0777
// whatever chmod did, RENAME_EXCHANGE fails with EINVAL, exFAT links ENOSYS.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "browser_record.h"
#include "bundle_factory.h"
#include "fault_sweep.h"
#include "installation_steps.h"
#include "transaction_support.h"

namespace faults {
namespace {

enum class State { asMade, full, readOnly };
struct VolumeCase {
  VolumeKind kind;
  std::uintmax_t megabytes;
  State state = State::asMade;
  std::string refusal{};  ///< before the confirmation; none: installed
};
class Volumes : public ::testing::TestWithParam<VolumeCase> {};

std::uintmax_t available(const fs::path& volume) {
  struct statvfs status {};
  ::statvfs(volume.c_str(), &status);
  return std::uintmax_t{status.f_bavail} * status.f_frsize;
}

/// The bundle's blocks and one more per entry, against what the volume has.
std::string spaceRefusal(const fs::path& bundle, const fs::path& volume) {
  std::uintmax_t needed = 0;
  std::vector<fs::path> items(fs::recursive_directory_iterator(bundle), {});
  items.push_back(bundle);
  for (struct stat status{}; const fs::path& item : items)
    needed += (::lstat(item.c_str(), &status), 4096 + 512 * std::uintmax_t(status.st_blocks));
  char text[128];
  std::snprintf(text, sizeof text, "需要约 %.1f MB，可用 %.1f MB", needed / 1e6,
                available(volume) / 1e6);
  return "安装位置所在的磁盘空间不足：" + std::string(text) + "。";
}

TEST_P(Volumes, AFreshInstallationAndAnUpdateWhileRunning) {
  const VolumeCase& row = GetParam();
  if (::geteuid() != 0) GTEST_SKIP() << "skipped: volumes on loop devices need root";
  std::optional<LoopVolume> volume;
  try {
    volume.emplace(row.kind, row.megabytes);
  } catch (const e2e::HarnessError& error) {
    GTEST_SKIP() << "skipped: no " << row.kind.name << " volume here: " << error.what();
  }
  e2e::Sandbox sandbox;
  const std::string resources(row.state == State::full ? 8 << 20 : 0, 'r');  // no room for it
  const fs::path source =
      e2e::makeBundle(sandbox.path("new") / e2e::browserBundle,
                      {.extraFiles = {{"Contents/Resources/r.pak", resources}}});
  const fs::path fresh = volume->mountPoint() / "fresh" / e2e::browserBundle;
  const fs::path installed =
      e2e::makeBundle(volume->mountPoint() / "update" / e2e::browserBundle,
                      {.version = std::string("1.0"), .record = sandbox.path("record")});
  fs::create_directories(fresh.parent_path());
  const ino_t oldBundle = e2e::inodeOf(installed);
  if (row.state == State::readOnly) volume->mountReadOnly();
  if (row.state == State::full) {  // taken blocks, not a hole; 2 MB stay free
    int filler =
        ::open((volume->mountPoint() / "filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_EQ(::posix_fallocate(filler, 0, available(volume->mountPoint()) - (2 << 20)), 0);
    ::close(filler);
  }
  const std::string refusedFirst =
      row.state == State::readOnly ? "安装位置所在的磁盘是只读的，无法安装。"
      : row.state == State::full   ? spaceRefusal(source, volume->mountPoint())
                                   : row.refusal;

  for (const fs::path& destination : {fresh, installed}) {
    const bool update = destination == installed;
    SCOPED_TRACE(update ? "an update while running" : "a fresh installation");
    e2e::runCase([&] {
      std::optional<e2e::BrowserProcess> old;
      if (update) old.emplace(e2e::BrowserProcess::start(sandbox, installed));
      if (update) e2e::BrowserRecord(sandbox.path("record")).waitForStarts(1);
      std::vector<std::string> arguments = {"--source", source.string(), "--destination",
                                            destination.string()};
      if (update) arguments.insert(arguments.end(), {"--current-app", destination.string()});
      e2e::InstallerRun run = e2e::InstallerRun::start(sandbox, {.arguments = arguments});
      if (!refusedFirst.empty()) {
        e2e::expectFailureReport(run, refusedFirst);
      } else {
        e2e::confirmWithReturn(run, update ? "退出并更新" : "安装");
        e2e::expectQuietSuccess(run);
      }
      EXPECT_EQ(e2e::stagingFolders(destination.parent_path()), std::vector<fs::path>{});
      if (refusedFirst.empty()) {
        EXPECT_EQ(e2e::infoString(destination, "CFBundleShortVersionString"), PROJECT_VERSION);
        EXPECT_TRUE(e2e::bundleVerifies(destination));
        EXPECT_TRUE(!old || old->waitForExit()) << "the old browser was not quit";
      } else {
        EXPECT_TRUE(update ? e2e::inodeOf(destination) == oldBundle : !fs::exists(destination));
        EXPECT_TRUE(!old || !old->hasEnded()) << "the old browser was quit";
        EXPECT_EQ(std::distance(fs::directory_iterator(destination.parent_path()), {}), update);
      }
      sandbox.killProcessesInside();
    });
  }
}

const VolumeKind ext4{
    "ext4", {"mkfs.ext4", "-q", "-F", "-m", "0"}, "ext4"};  // nothing kept for root
const std::string cannotHold =
    "安装位置所在的磁盘无法安全保存应用（不支持权限、链接或原子替换），请把浏览器安装到系统磁盘上的"
    "“应用程序”文件夹。";
INSTANTIATE_TEST_SUITE_P(
    , Volumes,
    ::testing::Values(
        VolumeCase{{"xfs", {"mkfs.xfs", "-q", "-f"}, "xfs"}, 300},
        VolumeCase{{"btrfs", {"mkfs.btrfs", "-q", "-f"}, "btrfs"}, 128},
        VolumeCase{{"exfat", {"mkfs.exfat"}, "exfat-fuse"}, 64, State::asMade, cannotHold},
        VolumeCase{
            {"ntfs", {"mkfs.ntfs", "-q", "-F", "-f"}, "ntfs-3g"}, 64, State::asMade, cannotHold},
        VolumeCase{ext4, 64, State::full}, VolumeCase{ext4, 64, State::readOnly}),
    [](const auto& info) {
      State state = info.param.state;
      return info.param.kind.name + (state == State::full       ? "_full"
                                     : state == State::readOnly ? "_read_only"
                                                                : "");
    });

}  // namespace
}  // namespace faults
