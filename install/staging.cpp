#include "install/staging.h"

#include "entry/constants.h"
#include "entry/installer_error.h"
#include "inspect/command.h"
#include "platform/terminal_text.h"

namespace installer {

InstallLock::InstallLock(const Options& options)
    : installDirectory_(options.destination.deletingLastPathComponent()) {
  files().createDirectory(installDirectory_, true, std::nullopt);
  Posix& posix = *services().posix;
  descriptor_ = posix.openDirectory(installDirectory_.path());
  if (descriptor_ < 0) {
    throw InstallerError("无法访问安装位置。\n" + shownPath(installDirectory_.path()));
  }
  // Never waits: a second installer is told at once, after its confirmation.
  if (!posix.lockExclusiveNonBlocking(descriptor_)) {
    posix.close(descriptor_);
    throw InstallerError("另一个安装程序正在运行。");
  }
}

InstallLock::~InstallLock() { services().posix->close(descriptor_); }

StagingDirectory::StagingDirectory(const InstallLock& lock)
    : url_(lock.installDirectory().appendingPathComponent(stagingDirectoryPrefix +
                                                          services().uuids->newUUIDString())) {
  files().createDirectory(url_, false, 0700);
}

StagingDirectory::~StagingDirectory() {
  if (keepStaging) return;
  try {
    files().removeItem(url_);
  } catch (...) {
    // What cannot be removed stays behind; the outcome is reported already.
  }
}

FileURL StagingDirectory::stagedBundle() const { return url_.appendingPathComponent(browserBundle); }

BundleInfo stageCopy(const BundleInfo& sourceInfo, const StagingDirectory& staging) {
  command("/bin/cp", {"-cRpP", sourceInfo.url.path(), staging.stagedBundle().path()},
          "无法准备新版浏览器。");
  BundleInfo stagedInfo = verifyInstallable(staging.stagedBundle());
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
