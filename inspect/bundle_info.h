#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "entry/installer_error.h"
#include "inspect/version.h"
#include "platform/file_url.h"

namespace installer {

/// What a bundle's tree takes on its volume, from the walk that checked its modes.
struct TreeFootprint {
  /// The blocks its files really take (`st_blocks`): a sparse file counts
  /// for its data, not for its holes.
  std::uint64_t allocatedBytes = 0;
  std::uint64_t entries = 0;
  bool holdsSymbolicLinks = false;
};

/// A verified browser bundle, as it was when verification began.
struct BundleInfo {
  /// The location exactly as passed to `verify`.
  FileURL url;
  /// The short version string, for messages.
  std::string version;
  VersionNumbers versionNumbers{};
  /// The bundle directory's identity from `lstat`. The device is wider than
  /// the 32 bits of the target system because Linux device numbers are.
  std::int64_t device = 0;
  std::uint64_t inode = 0;
  /// Folders above the bundle that must still be private directories of the
  /// user whenever it is acted on: for a copy found in a temporary build
  /// folder, that folder and the known subfolder holding it. Empty otherwise.
  std::vector<FileURL> privateFolders{};
  /// SHA-256 (hex) of the bundle's seal as it was when verification began.
  std::string sealDigest{};
  /// Known only for a bundle that `verifyInstallable` passed.
  TreeFootprint footprint{};

  /// True when the item at `location` is still this very directory entry:
  /// `lstat` succeeds with the same device and inode. Holds across moves and
  /// exchanges within one volume.
  bool matches(const FileURL& location) const;
};

/// Verifies that `url` is a genuine, sealed copy of the browser. Throws
/// InstallerError with the unrecognised-bundle or the signature message, or
/// the platform's error when the signature tool cannot be started.
BundleInfo verify(const FileURL& url);

/// `verify`, and also refuses, with the signature message, a bundle any of
/// whose entries another user could change (writable by group or others) or
/// that would run with other rights (setuid, setgid): for what gets installed.
BundleInfo verifyInstallable(const FileURL& url);

/// Whether the main executable and the Info.plist of `bundle`, resolved,
/// are regular files inside the resolved bundle: asked again before a launch.
bool mainFilesInside(const FileURL& bundle);

/// The signature message for the bundle at `path`.
InstallerError signatureFailure(const std::string& path);

}  // namespace installer
