#pragma once

#include <string>

#include "platform/file_url.h"

namespace installer::process {

// Kept out of namespace installer on purpose: there, argument-dependent
// lookup would make this the `swap` that standard algorithms call on two
// FileURL values, exchanging files on disk instead of values in memory.

/// The entry `name` of the folder open as `folder`.
struct FolderEntry {
  int folder = -1;
  std::string name;
};

/// Exchanges the two items in one atomic step. Throws InstallerError with the
/// system's reason and changes nothing when that fails.
void swap(const FileURL& first, const FileURL& second);

/// The same for two entries of open folders, so that a folder renamed or
/// replaced by its path meanwhile is never the one changed.
void swap(const FolderEntry& first, const FolderEntry& second);

/// Renames `from` to `to`, never replacing anything at `to`. Throws
/// PlatformError naming `fromURL`, `toURL` and the system's reason.
void move(const FolderEntry& from, const FolderEntry& to, const FileURL& fromURL,
          const FileURL& toURL);

}  // namespace installer::process
