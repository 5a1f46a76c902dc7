#pragma once

#include <cstdint>
#include <string>

#include "entry/options.h"
#include "inspect/bundle_info.h"
#include "platform/posix.h"
#include "process/exchange.h"

namespace installer {

/// What every staging directory's name starts with; a UUID text follows.
inline const std::string stagingDirectoryPrefix = ".qrvx-update-";

/// The refusal of an install folder whose contents other users may change.
inline const std::string sharedInstallFolderMessage =
    "安装位置所在的文件夹可被其他用户修改，无法安全安装。";

/// True when users other than `user` may rename or replace what `folder`
/// holds: everybody may write it and it is not sticky, or it belongs to
/// neither `user` nor root. Then nothing staged or installed there would
/// stay what the installer verified.
bool othersMayChange(const FileStatus& folder, std::uint32_t user);

/// Raises sharedInstallFolderMessage when the folder that is to hold the
/// destination exists and othersMayChange it; a missing one is made later.
void refuseSharedInstallDirectory(const Options& options);

/// The exclusive, non-blocking install lock on the folder that holds the
/// destination; released when this object goes. The folder's descriptor is
/// the one every later step renames and removes through.
class InstallLock {
 public:
  /// Creates the install directory when missing, opens and locks it.
  /// Throws the platform's error, or InstallerError when the directory
  /// cannot be opened, others may change it or another installer holds the lock.
  explicit InstallLock(const Options& options);
  ~InstallLock();
  InstallLock(const InstallLock&) = delete;
  InstallLock& operator=(const InstallLock&) = delete;

  const FileURL& installDirectory() const { return installDirectory_; }
  int descriptor() const { return descriptor_; }
  /// The entry `name` of the install directory.
  process::FolderEntry entry(const std::string& name) const { return {descriptor_, name}; }

 private:
  FileURL installDirectory_;
  int descriptor_ = -1;
};

/// The hidden staging directory beside the installation. Its removal at the
/// end of the transaction is the destructor's, so it happens exactly once on
/// every exit, unless `keepStaging` was set.
class StagingDirectory {
 public:
  /// Creates ".qrvx-update-" + a new UUID inside the locked directory, mode
  /// 0700, and makes sure through its descriptor that it is the user's own.
  explicit StagingDirectory(const InstallLock& lock);
  ~StagingDirectory();
  StagingDirectory(const StagingDirectory&) = delete;
  StagingDirectory& operator=(const StagingDirectory&) = delete;

  const FileURL& url() const { return url_; }
  const InstallLock& lock() const { return lock_; }
  /// Where the new bundle is copied: the directory plus `browserBundle`.
  FileURL stagedBundle() const;
  process::FolderEntry stagedEntry() const;
  /// True while the directory at url() is still the one made here and the
  /// bundle in it is the directory entry `bundle` recorded: what the tools
  /// were given by path is then what the descriptors hold.
  bool holds(const BundleInfo& bundle) const;

  /// When true the directory survives the end of the transaction.
  bool keepStaging = false;

 private:
  const InstallLock& lock_;
  std::string name_;
  FileURL url_;
  int descriptor_ = -1;
  FileStatus status_;
};

/// Copies the new bundle into the staging directory, verifies the copy and
/// takes a download's quarantine mark off it.
BundleInfo stageCopy(const BundleInfo& sourceInfo, const StagingDirectory& staging);

}  // namespace installer
