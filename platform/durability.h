#pragma once

#include <vector>

#include "platform/file_url.h"

namespace installer {

/// Puts on the disk what the installer changed, so that a power cut after a
/// step can no longer undo it: a rename reaches the disk on the file system's
/// own schedule, and file data often much later than the names that lead to
/// it. Every failure throws PlatformError.
class Durability {
 public:
  virtual ~Durability() = default;
  /// Every file, folder and link inside `item`, and `item` itself, reaches
  /// the disk before any change the installer makes to the volume afterwards.
  virtual void flushTree(const FileURL& item) = 0;
  /// The entries of each directory, what was moved into or out of it, are on
  /// the disk when this returns.
  virtual void flushDirectories(const std::vector<FileURL>& directories) = 0;
};

}  // namespace installer
