#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace installer {

/// The part of `struct stat` the installer reads. The device is 64 bits wide
/// so that identities stay exact where device numbers are wider than 32 bits.
struct FileStatus {
  std::int64_t device = 0;
  std::uint64_t inode = 0;
  std::uint32_t mode = 0;
  std::uint32_t uid = 0;
  /// `st_size`: the apparent size, holes included.
  std::uint64_t size = 0;
  /// `st_blocks` in bytes: what the item really takes on its volume.
  std::uint64_t allocatedSize = 0;
};

// Mode bits, the same values on every POSIX system the installer runs on.
inline constexpr std::uint32_t fileTypeMask = 0170000;      // S_IFMT
inline constexpr std::uint32_t directoryType = 0040000;     // S_IFDIR
inline constexpr std::uint32_t regularFileType = 0100000;   // S_IFREG
inline constexpr std::uint32_t symbolicLinkType = 0120000;  // S_IFLNK
inline constexpr std::uint32_t groupWriteBit = 0020;        // S_IWGRP
inline constexpr std::uint32_t otherWriteBit = 0002;        // S_IWOTH
inline constexpr std::uint32_t setIdentityBits = 06000;     // S_ISUID | S_ISGID
inline constexpr std::uint32_t stickyBit = 01000;           // S_ISVTX
inline constexpr std::uint32_t permissionBits = 07777;

/// The folder a name relative to the working directory is looked up in (AT_FDCWD).
inline constexpr int currentDirectoryDescriptor = -100;

inline constexpr int hangUpSignal = 1;  // SIGHUP

class Posix {
 public:
  virtual ~Posix() = default;
  /// `lstat`: nothing on failure.
  virtual std::optional<FileStatus> lstat(const std::string& path) = 0;
  /// `realpath`: the fully resolved path of an existing location, or nothing.
  virtual std::optional<std::string> realpath(const std::string& path) = 0;
  /// Hands `visit` the item at `root` and everything beneath it, parents
  /// first, each with its `lstat` status; no link is followed. True when the
  /// whole tree was visited: false when `visit` answered false or a part
  /// could not be read.
  virtual bool visitTree(
      const std::string& root,
      const std::function<bool(const std::string& path, const FileStatus& status)>& visit) = 0;
  /// The SHA-256 of the regular file at `path`, as lower-case hex, opened
  /// without following a link in its last component; nothing when it cannot
  /// be read.
  virtual std::optional<std::string> sha256OfFile(const std::string& path) = 0;
  /// `open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)`: a descriptor or -1.
  virtual int openDirectory(const std::string& path) = 0;
  /// The same for the entry `name` of the open folder `parent`: never through a link.
  virtual int openDirectoryAt(int parent, const std::string& name) = 0;
  /// `fstat`: nothing on failure.
  virtual std::optional<FileStatus> fstat(int descriptor) = 0;
  /// `fstatat` of `name` in `parent` without following a link: nothing on failure.
  virtual std::optional<FileStatus> lstatAt(int parent, const std::string& name) = 0;
  /// `mkdirat`, then the exact `mode` set on the new folder: 0, or the errno value.
  virtual int makeDirectoryAt(int parent, const std::string& name, std::uint32_t mode) = 0;
  /// Exchanges two entries of open folders atomically: 0, or the errno value.
  virtual int exchangeAt(int firstParent, const std::string& firstName, int secondParent,
                         const std::string& secondName) = 0;
  /// Renames an entry of one open folder into another, never replacing
  /// anything there: 0, or the errno value.
  virtual int moveAt(int fromParent, const std::string& fromName, int toParent,
                     const std::string& toName) = 0;
  /// Removes the folder `name` of `parent` with everything in it, but only
  /// while it is the folder `expected` (device and inode); no link is
  /// followed and every entry goes by `unlinkat` in its own open folder.
  /// 0, or the errno value (ESTALE when another folder lies there).
  virtual int removeTreeAt(int parent, const std::string& name, const FileStatus& expected) = 0;
  /// `flock(descriptor, LOCK_EX | LOCK_NB)`: true when the lock was taken.
  virtual bool lockExclusiveNonBlocking(int descriptor) = 0;
  virtual void close(int descriptor) = 0;
  virtual std::uint32_t getuid() = 0;
  /// `kill`: 0 on success, -1 on failure.
  virtual int kill(int processIdentifier, int signal) = 0;
  /// Exchanges the two directory entries atomically: 0, or the errno value.
  virtual int exchange(const std::string& first, const std::string& second) = 0;
  /// `symlink`: a link at `path` that reads `target`; 0, or the errno value.
  virtual int symbolicLink(const std::string& target, const std::string& path) = 0;
  /// The system's text for an errno value.
  virtual std::string strerror(int error) = 0;
  /// `fputs` of UTF-8 text to standard error.
  virtual void writeStandardError(const std::string& text) = 0;
  [[noreturn]] virtual void exit(int status) = 0;
};

}  // namespace installer
