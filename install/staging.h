#pragma once

#include <string>

#include "entry/options.h"
#include "inspect/bundle_info.h"

namespace installer {

/// What every staging directory's name starts with; a UUID text follows.
inline const std::string stagingDirectoryPrefix = ".qrvx-update-";

/// The exclusive, non-blocking install lock on the folder that holds the
/// destination; released when this object goes.
class InstallLock {
 public:
  /// Creates the install directory when missing, opens and locks it.
  /// Throws the platform's error, or InstallerError when the directory
  /// cannot be opened or another installer holds the lock.
  explicit InstallLock(const Options& options);
  ~InstallLock();
  InstallLock(const InstallLock&) = delete;
  InstallLock& operator=(const InstallLock&) = delete;

  const FileURL& installDirectory() const { return installDirectory_; }

 private:
  FileURL installDirectory_;
  int descriptor_ = -1;
};

/// The hidden staging directory beside the installation. Its removal at the
/// end of the transaction is the destructor's, so it happens exactly once on
/// every exit, unless `keepStaging` was set.
class StagingDirectory {
 public:
  /// Creates ".qrvx-update-" + a new UUID inside the locked directory, mode 0700.
  explicit StagingDirectory(const InstallLock& lock);
  ~StagingDirectory();
  StagingDirectory(const StagingDirectory&) = delete;
  StagingDirectory& operator=(const StagingDirectory&) = delete;

  const FileURL& url() const { return url_; }
  /// Where the new bundle is copied: the directory plus `browserBundle`.
  FileURL stagedBundle() const;

  /// When true the directory survives the end of the transaction.
  bool keepStaging = false;

 private:
  FileURL url_;
};

/// Copies the new bundle into the staging directory, verifies the copy and
/// takes a download's quarantine mark off it.
BundleInfo stageCopy(const BundleInfo& sourceInfo, const StagingDirectory& staging);

}  // namespace installer
