#pragma once

#include "platform/file_manager.h"

namespace installer::posix {

/// The file manager's tasks that are POSIX calls on both systems; each
/// backend adds the Trash, the user's home and Application Support. Descriptions name the
/// operation, the path and the C library's text.
class PosixFileManager : public FileManager {
 public:
  void createDirectory(const FileURL& directory, bool withIntermediateDirectories,
                       std::optional<unsigned> posixPermissions) override;
  void moveItem(const FileURL& from, const FileURL& to) override;
  /// Through descriptors, never following a link.
  void removeItem(const FileURL& item) override;
  /// An item its owner cannot write gets the owner's write bit for the
  /// removal, and its mode back after it.
  void removeQuarantine(const FileURL& item) override;
  /// Sorted by name.
  std::vector<FileURL> contentsOfDirectory(const FileURL& directory) override;
  std::vector<FileURL> contentsOfDirectoryIncludingHidden(const FileURL& directory) override;
  /// `statvfs`: whether the volume is mounted read-only and what an ordinary
  /// user may still write there (`f_bavail`, not the blocks kept for root).
  /// It cannot tell whether the volume keeps modes, links or exchanges: a
  /// FUSE disk reports only `fuseblk` on Linux. The installer tries them.
  std::optional<VolumeStatus> volumeOf(const FileURL& item) override;
  /// The password database's entry.
  std::optional<std::string> homeDirectoryOfUser(const std::string& user) override;
  /// `getcwd`.
  std::string currentDirectoryPath() override;

 protected:
  /// Throws PlatformError naming `item` when one of the Trash `folders` is
  /// something other than a real folder of this user that only this user may
  /// write: the system would move the item into it, a link to someone else's
  /// folder or a folder another user may write handing them what is
  /// trashed. Missing ones the system makes itself, private.
  static void checkTrashFolders(const FileURL& item, const std::vector<std::string>& folders);
};

}  // namespace installer::posix
