#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_url.h"

namespace installer {

/// What the installer asks of the volume that holds an item.
struct VolumeStatus {
  bool readOnly = false;
  /// Bytes the user's new files may still take.
  std::uint64_t availableBytes = 0;
  /// What the volume says of itself where it does (a Mac): whether two of
  /// its items exchange atomically, whether it keeps symbolic links. Nothing
  /// where only trying tells: Linux reports every FUSE disk as `fuseblk`.
  std::optional<bool> supportsExchange{};
  std::optional<bool> supportsSymbolicLinks{};
  /// Whether the volume's kind keeps POSIX modes, where that can be told.
  std::optional<bool> keepsModes{};
};

/// File operations as whole tasks. Every failure throws PlatformError with the
/// platform's own description, quoted as is in the user's messages: the
/// operation, the path and the C library's English error text; for the Trash
/// on macOS the NSError's localizedDescription, which names the item and the
/// reason in the installer bundle's language (Chinese, its development region).
class FileManager {
 public:
  virtual ~FileManager() = default;
  /// With intermediate directories an existing directory is success; without,
  /// any existing item is an error. `posixPermissions` is applied to the
  /// directory created, regardless of the umask.
  virtual void createDirectory(const FileURL& directory, bool withIntermediateDirectories,
                               std::optional<unsigned> posixPermissions) = 0;
  /// Moves an item to a location where nothing exists; never replaces.
  virtual void moveItem(const FileURL& from, const FileURL& to) = 0;
  /// Removes an item and everything in it.
  virtual void removeItem(const FileURL& item) = 0;
  /// Moves an item to the user's Trash.
  virtual void trashItem(const FileURL& item) = 0;
  /// Removes the quarantine mark that a download leaves on files from `item`
  /// and everything inside it, from symbolic links themselves rather than
  /// what they point to. An item without the mark is no failure.
  virtual void removeQuarantine(const FileURL& item) = 0;
  /// The entries directly inside `directory`, hidden ones skipped.
  virtual std::vector<FileURL> contentsOfDirectory(const FileURL& directory) = 0;
  /// The same, hidden ones included.
  virtual std::vector<FileURL> contentsOfDirectoryIncludingHidden(const FileURL& directory) = 0;
  /// The user's Application Support folders (user domain).
  virtual std::vector<FileURL> applicationSupportDirectories() = 0;
  /// `NSHomeDirectory()`.
  virtual std::string homeDirectory() = 0;
  /// The home directory of a named user, for "~name" paths.
  virtual std::optional<std::string> homeDirectoryOfUser(const std::string& user) = 0;
  /// The volume that holds the existing item `item`; nothing when it cannot
  /// be asked.
  virtual std::optional<VolumeStatus> volumeOf(const FileURL& item) = 0;
  /// The process's current working directory.
  virtual std::string currentDirectoryPath() = 0;
};

}  // namespace installer
