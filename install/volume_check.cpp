#include "install/volume_check.h"

#include <cstdio>

#include "entry/constants.h"
#include "entry/installer_error.h"
#include "platform/services.h"

namespace installer {
namespace {

/// Room for what the file system adds to the bundle's own blocks: a block per
/// entry covers a directory's own block and a file's last one on a volume of
/// larger blocks than the source's.
constexpr std::uint64_t marginPerEntry = 4096;

/// The nearest folder at or above the destination's that exists: where the
/// missing ones would be made, on its volume.
FileURL nearestExistingFolder(const FileURL& destination) {
  FileURL folder = destination.deletingLastPathComponent();
  while (folder.path() != "/" && !services().posix->lstat(folder.path())) {
    folder = folder.deletingLastPathComponent();
  }
  return folder;
}

[[noreturn]] void refuseVolume() {
  throw InstallerError(
      "安装位置所在的磁盘无法安全保存应用（不支持权限、链接或原子替换），"
      "请把浏览器安装到系统磁盘上的“应用程序”文件夹。");
}

/// Whether `first` and `second`, two fresh empty folders, trade places
/// through the exchange the update relies on.
bool exchanges(const FileURL& first, const FileURL& second) {
  Posix& posix = *services().posix;
  const std::optional<FileStatus> before = posix.lstat(first.path());
  if (!before || posix.exchange(first.path(), second.path()) != 0) return false;
  const std::optional<FileStatus> after = posix.lstat(second.path());
  return after && after->inode == before->inode;
}

bool keepsSymbolicLink(const FileURL& link) {
  Posix& posix = *services().posix;
  if (posix.symbolicLink("Contents", link.path()) != 0) return false;
  const std::optional<FileStatus> status = posix.lstat(link.path());
  return status && (status->mode & fileTypeMask) == symbolicLinkType;
}

}  // namespace

std::string shownSize(std::uint64_t bytes) {
  char text[32];
  const double megabytes = static_cast<double>(bytes) / 1e6;
  // Decided on the rounded figure, so that nothing reads "1000.0 MB".
  if (megabytes < 999.95) {
    std::snprintf(text, sizeof text, "%.1f MB", megabytes);
  } else {
    std::snprintf(text, sizeof text, "%.1f GB", megabytes / 1e3);
  }
  return text;
}

std::optional<VolumeStatus> destinationVolume(const Options& options) {
  return files().volumeOf(nearestExistingFolder(options.destination));
}

void refuseVolumeWithoutModes(const std::optional<VolumeStatus>& volume) {
  if (volume && volume->keepsModes == false) refuseVolume();
}

void checkDestinationVolume(const std::optional<VolumeStatus>& volume,
                            const BundleInfo& sourceInfo) {
  if (!volume) return;
  // Asked before the confirmation: nothing is asked that cannot be done.
  if (volume->readOnly) throw InstallerError("安装位置所在的磁盘是只读的，无法安装。");
  const TreeFootprint& footprint = sourceInfo.footprint;
  const std::uint64_t needed = footprint.allocatedBytes + footprint.entries * marginPerEntry;
  if (volume->availableBytes < needed) {
    throw InstallerError("安装位置所在的磁盘空间不足：需要约 " + shownSize(needed) + "，可用 " +
                         shownSize(volume->availableBytes) + "。");
  }
}

void checkStagingVolume(const StagingDirectory& staging, const BundleInfo& sourceInfo) {
  Posix& posix = *services().posix;
  const bool links = sourceInfo.footprint.holdsSymbolicLinks;
  // Where the volume says what it cannot do, nothing needs trying.
  if (const std::optional<VolumeStatus> volume = files().volumeOf(staging.url())) {
    if (volume->supportsExchange == false || (links && volume->supportsSymbolicLinks == false)) {
      refuseVolume();
    }
  }
  // exFAT and NTFS disks keep no modes: every item reads 0777 or 0755, and
  // chmod succeeds without effect. A copy there is readable by every user
  // and never matches its seal, and the user would be told the download
  // was damaged.
  const std::optional<FileStatus> made = posix.lstat(staging.url().path());
  if (!made || (made->mode & fileTypeMask) != directoryType || (made->mode & 07777) != 0700) {
    refuseVolume();
  }
  // A fresh installation is tried too: a browser that could never be
  // updated where it lies is no installation to make.
  // Hidden: a staging folder left by a kill during the trial still holds
  // nothing but the installer's own layout, and the next run puts it away.
  const FileURL first = staging.url().appendingPathComponent(".exchange-1");
  const FileURL second = staging.url().appendingPathComponent(".exchange-2");
  files().createDirectory(first, false, 0700);
  files().createDirectory(second, false, 0700);
  bool holds = exchanges(first, second);
  files().removeItem(first);
  files().removeItem(second);
  if (holds && links) {
    const FileURL link = staging.url().appendingPathComponent(".link");
    holds = keepsSymbolicLink(link);
    if (posix.lstat(link.path())) files().removeItem(link);
  }
  if (!holds) refuseVolume();
}

}  // namespace installer
