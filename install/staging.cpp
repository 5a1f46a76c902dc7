#include "install/staging.h"

#include "entry/constants.h"
#include "entry/installer_error.h"
#include "inspect/command.h"
#include "platform/platform_error.h"
#include "platform/terminal_text.h"

namespace installer {
namespace {

bool sameItem(const FileStatus& status, std::int64_t device, std::uint64_t inode) {
  return status.device == device && status.inode == inode;
}

}  // namespace

bool othersMayChange(const FileStatus& folder, std::uint32_t user) {
  if ((folder.mode & fileTypeMask) != directoryType) return true;
  if (folder.uid != user && folder.uid != 0) return true;
  // A sticky folder lets nobody but an entry's owner rename or remove it.
  return (folder.mode & otherWriteBit) != 0 && (folder.mode & stickyBit) == 0;
}

void refuseSharedInstallDirectory(const Options& options) {
  Posix& posix = *services().posix;
  const std::optional<FileStatus> folder =
      posix.lstat(options.destination.deletingLastPathComponent().path());
  if (folder && othersMayChange(*folder, posix.getuid())) {
    throw InstallerError(sharedInstallFolderMessage);
  }
}

InstallLock::InstallLock(const Options& options)
    : installDirectory_(options.destination.deletingLastPathComponent()) {
  files().createDirectory(installDirectory_, true, std::nullopt);
  Posix& posix = *services().posix;
  descriptor_ = posix.openDirectory(installDirectory_.path());
  if (descriptor_ < 0) {
    throw InstallerError("无法访问安装位置。\n" + shownPath(installDirectory_.path()));
  }
  // Judged again on the folder now open: it may have been made just now, or
  // changed while the confirmation waited.
  const std::optional<FileStatus> folder = posix.fstat(descriptor_);
  if (!folder || othersMayChange(*folder, posix.getuid())) {
    posix.close(descriptor_);
    throw InstallerError(sharedInstallFolderMessage);
  }
  // Never waits: a second installer is told at once, after its confirmation.
  if (!posix.lockExclusiveNonBlocking(descriptor_)) {
    posix.close(descriptor_);
    throw InstallerError("另一个安装程序正在运行。");
  }
}

InstallLock::~InstallLock() { services().posix->close(descriptor_); }

StagingDirectory::StagingDirectory(const InstallLock& lock)
    : lock_(lock),
      name_(stagingDirectoryPrefix + services().uuids->newUUIDString()),
      url_(lock.installDirectory().appendingPathComponent(name_)) {
  Posix& posix = *services().posix;
  if (const int error = posix.makeDirectoryAt(lock.descriptor(), name_, 0700)) {
    throw PlatformError("Could not create directory " + url_.path() + ": " + posix.strerror(error));
  }
  descriptor_ = posix.openDirectoryAt(lock.descriptor(), name_);
  const std::optional<FileStatus> status =
      descriptor_ < 0 ? std::nullopt : posix.fstat(descriptor_);
  // Only a folder that nobody else may enter is filled; what lies there
  // otherwise was put there by someone else, and stays. Root counts as this
  // user, as for the install folder.
  if (!status || (status->mode & fileTypeMask) != directoryType ||
      (status->uid != posix.getuid() && status->uid != 0) ||
      (status->mode & permissionBits) != 0700) {
    if (descriptor_ >= 0) posix.close(descriptor_);
    throw InstallerError(sharedInstallFolderMessage);
  }
  status_ = *status;
}

StagingDirectory::~StagingDirectory() {
  Posix& posix = *services().posix;
  // What cannot be removed stays behind; the outcome is reported already.
  if (!keepStaging) posix.removeTreeAt(lock_.descriptor(), name_, status_);
  posix.close(descriptor_);
}

FileURL StagingDirectory::stagedBundle() const { return url_.appendingPathComponent(browserBundle); }

process::FolderEntry StagingDirectory::stagedEntry() const { return {descriptor_, browserBundle}; }

bool StagingDirectory::holds(const BundleInfo& bundle) const {
  Posix& posix = *services().posix;
  const std::optional<FileStatus> folder = posix.lstatAt(lock_.descriptor(), name_);
  const std::optional<FileStatus> staged = posix.lstatAt(descriptor_, browserBundle);
  return folder && sameItem(*folder, status_.device, status_.inode) && staged &&
         sameItem(*staged, bundle.device, bundle.inode);
}

BundleInfo stageCopy(const BundleInfo& sourceInfo, const StagingDirectory& staging) {
  command("/bin/cp", {"-cRpP", sourceInfo.url.path(), staging.stagedBundle().path()},
          "无法准备新版浏览器。");
  BundleInfo stagedInfo = verifyInstallable(staging.stagedBundle());
  // Verified by its path: it counts only as the entry in the folder made here.
  if (!staging.holds(stagedInfo)) throw signatureFailure(staging.stagedBundle().path());
  // What the verified copy still needs fails as the copy itself does.
  try {
    // A download's quarantine mark would hold the launch at the system's
    // question about a download, which nobody answers within the launch
    // watch: a good update would be rolled back. Taken off only what the
    // publisher's signature vouches for: without that check the mark is all
    // that still sends an unknown bundle through the system's first-launch check.
    if (!publisherRequirement().empty()) files().removeQuarantine(staging.stagedBundle());
    // Until its data is on the disk, an exchanged copy may come back from a
    // power cut as a bundle of empty files at the destination.
    services().durability->flushTree(staging.stagedBundle());
  } catch (const std::exception&) {
    throw InstallerError("无法准备新版浏览器。");
  }
  return stagedInfo;
}

}  // namespace installer
