#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

namespace e2e {

/// One item of a tree as lstat and its content show it.
struct TreeEntry {
  char type = '?';  ///< 'f' file, 'd' folder, 'l' symbolic link, 'o' anything else
  unsigned mode = 0;  ///< permission bits, with set-id and sticky
  ino_t inode = 0;
  off_t size = 0;
  std::int64_t modifiedNanoseconds = 0;
  /// SHA-256 of a file's bytes, the target of a link, empty otherwise.
  std::string content;

  bool operator==(const TreeEntry&) const = default;
};

/// Every item under a root, by path relative to it ("." is the root itself).
using TreeSnapshot = std::map<std::string, TreeEntry>;

/// Records the tree at `root` without following symbolic links; throws
/// HarnessError when an item cannot be examined.
TreeSnapshot snapshotTree(const std::filesystem::path& root);

/// One line per item added, removed or changed (and how); empty when equal.
std::string treeDifferences(const TreeSnapshot& before, const TreeSnapshot& after);

}  // namespace e2e
