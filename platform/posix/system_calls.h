#pragma once

// What the two systems do differently, one function each, defined once
// under linux/ and once under apple/. Each answers 0 or the errno value.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace installer::posix {

/// Renames `from` to `to`, failing with EEXIST when anything is at `to`.
int renameWithoutReplacing(const std::string& from, const std::string& to);
/// Exchanges two directory entries atomically.
int exchangeEntries(const std::string& first, const std::string& second);
/// The same two for entries named in open folders.
int renameWithoutReplacingAt(int fromParent, const std::string& from, int toParent,
                             const std::string& to);
int exchangeEntriesAt(int firstParent, const std::string& first, int secondParent,
                      const std::string& second);
/// Removes the quarantine mark from the item at `path` (of type `mode`)
/// itself, never from what a link points to; an item without the mark, or
/// one that cannot carry attributes, is success.
int removeQuarantineMark(const std::string& path, std::uint32_t mode);
/// After an `fsync` on `descriptor`: empties the drive's cache of what was
/// written to its volume, where `fsync` does not (macOS).
int flushDriveCache(int descriptor);
/// Puts every item of the tree at `path` on the disk; throws PlatformError.
void flushTreeToDisk(const std::string& path);
/// False when the volume holding `path` is of a kind that keeps no POSIX
/// modes (FAT, exFAT, NTFS, FUSE disks): there every item reads as the mount
/// says, and `chmod` succeeds without effect. Nothing when it cannot be told.
std::optional<bool> volumeKeepsModes(const std::string& path);

/// The system's SHA-256 primitive.
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;
  /// False when the primitive failed; `length` is at most 1 MiB.
  bool update(const void* bytes, std::size_t length);
  /// The digest, or nothing when the primitive failed.
  std::optional<std::array<unsigned char, 32>> finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace installer::posix
