#include "platform/posix/descriptors.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace installer::posix {
namespace {

FileStatus fileStatusOf(const struct stat& status) {
  return FileStatus{static_cast<std::int64_t>(status.st_dev),
                    status.st_ino,
                    static_cast<std::uint32_t>(status.st_mode),
                    status.st_uid,
                    static_cast<std::uint64_t>(status.st_size),
                    static_cast<std::uint64_t>(status.st_blocks) * 512};
}

bool sameItem(const FileStatus& status, const FileStatus& expected) {
  return status.device == expected.device && status.inode == expected.inode;
}

/// The names in the open folder `folder` except "." and "..", or the errno
/// value. Reads a duplicate, so that `folder` stays open for the caller.
int entryNames(int folder, std::vector<std::string>& names) {
  const int listing = ::dup(folder);
  if (listing < 0) return errno;
  DIR* directory = ::fdopendir(listing);
  if (!directory) {
    const int error = errno;
    ::close(listing);
    return error;
  }
  int error = 0;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(directory);
    if (!entry) {
      error = errno;
      break;
    }
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(directory);
  return error;
}

/// Empties the open folder `folder`, going down only into folders that are
/// still what their entry showed when they are opened.
int removeContents(int folder) {
  std::vector<std::string> names;
  if (int error = entryNames(folder, names)) return error;
  for (const std::string& name : names) {
    const std::optional<FileStatus> status = statusAt(folder, name);
    if (!status) return errno;
    if ((status->mode & fileTypeMask) != directoryType) {
      if (::unlinkat(folder, name.c_str(), 0) != 0) return errno;
      continue;
    }
    if (int error = removeTreeAt(folder, name, *status)) return error;
  }
  return 0;
}

}  // namespace

int openDirectoryAt(int parent, const std::string& name) {
  return ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

std::optional<FileStatus> statusOfDescriptor(int descriptor) {
  struct stat status {};
  if (::fstat(descriptor, &status) != 0) return std::nullopt;
  return fileStatusOf(status);
}

std::optional<FileStatus> statusAt(int parent, const std::string& name) {
  struct stat status {};
  if (::fstatat(parent, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
  return fileStatusOf(status);
}

int makeDirectoryAt(int parent, const std::string& name, std::uint32_t mode) {
  if (::mkdirat(parent, name.c_str(), static_cast<mode_t>(mode & 0777)) != 0) return errno;
  // The umask may have narrowed the mode; it is set through the folder
  // itself, never by a name that could lead elsewhere by now.
  const int folder = openDirectoryAt(parent, name);
  if (folder < 0) return errno;
  const int error = ::fchmod(folder, static_cast<mode_t>(mode & permissionBits)) == 0 ? 0 : errno;
  ::close(folder);
  return error;
}

int removeTreeAt(int parent, const std::string& name, const FileStatus& expected) {
  const int folder = openDirectoryAt(parent, name);
  if (folder < 0) return errno;
  const std::optional<FileStatus> status = statusOfDescriptor(folder);
  int error = 0;
  if (!status) {
    error = errno;
  } else if (!sameItem(*status, expected)) {
    error = ESTALE;
  } else {
    error = removeContents(folder);
  }
  ::close(folder);
  if (error != 0) return error;
  return ::unlinkat(parent, name.c_str(), AT_REMOVEDIR) == 0 ? 0 : errno;
}

}  // namespace installer::posix
