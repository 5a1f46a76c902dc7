#include "platform/posix/posix_file_manager.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "helpers/unique_fd.h"
#include "platform/posix/file_tree.h"
#include "platform/posix/posix_system.h"
#include "platform/posix/system_calls.h"

namespace installer::posix {
namespace {

/// `mkdir -p` of every folder above `path`; an existing folder is fine even
/// where mkdir would answer EACCES or EROFS.
void createParents(const std::string& path) {
  const std::size_t lastKept = path.find_last_not_of('/');
  const std::size_t end = lastKept == std::string::npos ? lastKept : path.rfind('/', lastKept);
  if (end == std::string::npos || end == 0) return;
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos && slash <= end;
       slash = path.find('/', slash + 1)) {
    if (path[slash - 1] == '/') continue;
    const std::string parent = path.substr(0, slash);
    if (::mkdir(parent.c_str(), 0777) != 0 && !isDirectory(parent)) {
      fail("Could not create directory " + path, errno == EEXIST ? ENOTDIR : errno);
    }
  }
}

/// The names in an open directory except "." and "..".
std::vector<std::string> entryNames(DIR* directory, const std::string& path) {
  std::vector<std::string> names;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(directory);
    if (!entry) {
      if (errno != 0) fail("Could not list directory " + path, errno);
      return names;
    }
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(std::move(name));
  }
}

/// A directory stream of `name` in `parent`, not following a final link
/// unless `followLink`; nothing, with errno set, when it cannot be opened.
std::unique_ptr<helpers::UniqueDir> openDirectoryAt(int parent, const std::string& name,
                                                    bool followLink) {
  int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW);
  helpers::UniqueFd descriptor(::openat(parent, name.c_str(), flags));
  if (!descriptor) return nullptr;
  DIR* directory = ::fdopendir(descriptor.get());
  if (!directory) return nullptr;
  descriptor.release();
  return std::make_unique<helpers::UniqueDir>(directory);
}

void removeEntry(int parent, const std::string& name, const std::string& path);

void removeContents(int parent, const std::string& name, const std::string& path) {
  std::unique_ptr<helpers::UniqueDir> directory = openDirectoryAt(parent, name, false);
  if (!directory) fail("Could not remove " + path, errno);
  for (const std::string& entry : entryNames(directory->get(), path)) {
    removeEntry(directory->fd(), entry, (path + "/").append(entry));
  }
}

/// Removes `name` in `parent`; a symbolic link goes as a link.
void removeEntry(int parent, const std::string& name, const std::string& path) {
  if (::unlinkat(parent, name.c_str(), 0) == 0) return;
  const int error = errno;
  // Linux answers EISDIR for a real directory, macOS EPERM; neither for a link.
  struct stat status {};
  if ((error != EISDIR && error != EPERM) ||
      ::fstatat(parent, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
      !S_ISDIR(status.st_mode)) {
    fail("Could not remove " + path, error);
  }
  removeContents(parent, name, path);
  if (::unlinkat(parent, name.c_str(), AT_REMOVEDIR) != 0) fail("Could not remove " + path, errno);
}

/// The entries of `directory`, sorted: readdir's order depends on the file
/// system, and a sorted list keeps every run alike.
std::vector<FileURL> sortedEntries(const FileURL& directory, bool includingHidden) {
  const std::string& path = directory.path();
  std::unique_ptr<helpers::UniqueDir> handle = openDirectoryAt(AT_FDCWD, path, true);
  if (!handle) fail("Could not list directory " + path, errno);
  std::vector<std::string> names = entryNames(handle->get(), path);
  std::sort(names.begin(), names.end());
  std::vector<FileURL> entries;
  for (const std::string& name : names) {
    if (includingHidden || name.front() != '.') {
      entries.push_back(directory.appendingPathComponent(name));
    }
  }
  return entries;
}

/// Removing an attribute needs write access to the item, its owner's too:
/// bundles made from read-only media carry 0444 files and 0555 folders. The
/// owner's write bit is added for the removal and the mode put back.
int removeMarkOfReadOnlyItem(const std::string& path, const FileStatus& status, int error) {
  const std::uint32_t type = status.mode & fileTypeMask;
  if ((error != EACCES && error != EPERM) || (status.mode & S_IWUSR) != 0 ||
      (type != regularFileType && type != directoryType)) {
    return error;
  }
  helpers::UniqueFd item(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!item || ::fchmod(item.get(), (status.mode & 07777) | S_IWUSR) != 0) return error;
  const int retried = removeQuarantineMark(path, status.mode);
  if (::fchmod(item.get(), status.mode & 07777) != 0 && retried == 0) return errno;
  return retried;
}

}  // namespace

void PosixFileManager::createDirectory(const FileURL& directory, bool withIntermediateDirectories,
                                       std::optional<unsigned> posixPermissions) {
  const std::string& path = directory.path();
  if (withIntermediateDirectories) createParents(path);
  // The umask can only narrow the first mode; the chmod below sets it exactly,
  // so the folder is never wider than asked for.
  mode_t initialMode = posixPermissions ? (*posixPermissions & 0777) : 0777;
  if (::mkdir(path.c_str(), initialMode) != 0) {
    int error = errno;
    if (withIntermediateDirectories && isDirectory(path)) return;
    fail("Could not create directory " + path, error);
  }
  if (posixPermissions && ::chmod(path.c_str(), *posixPermissions & 07777) != 0) {
    fail("Could not set the permissions of directory " + path, errno);
  }
}

void PosixFileManager::moveItem(const FileURL& from, const FileURL& to) {
  if (int error = renameWithoutReplacing(from.path(), to.path()); error != 0) {
    fail("Could not move " + from.path() + " to " + to.path(), error);
  }
}

void PosixFileManager::removeItem(const FileURL& item) {
  const std::string& path = item.path();
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) fail("Could not remove " + path, errno);
  if (!S_ISDIR(status.st_mode)) {
    if (::unlink(path.c_str()) != 0) fail("Could not remove " + path, errno);
    return;
  }
  removeContents(AT_FDCWD, path, path);
  if (::rmdir(path.c_str()) != 0) fail("Could not remove " + path, errno);
}

void PosixFileManager::removeQuarantine(const FileURL& item) {
  std::optional<TreeStop> stop =
      walkTree(item.path(), [](const std::string& path, const FileStatus& status) {
        const int error = removeQuarantineMark(path, status.mode);
        return error == 0 ? 0 : removeMarkOfReadOnlyItem(path, status, error);
      });
  if (stop) fail("Could not remove the quarantine mark of " + stop->path, stop->error);
}

std::vector<FileURL> PosixFileManager::contentsOfDirectory(const FileURL& directory) {
  return sortedEntries(directory, false);
}

std::vector<FileURL> PosixFileManager::contentsOfDirectoryIncludingHidden(
    const FileURL& directory) {
  return sortedEntries(directory, true);
}

std::optional<VolumeStatus> PosixFileManager::volumeOf(const FileURL& item) {
  struct statvfs volume {};
  if (::statvfs(item.path().c_str(), &volume) != 0) return std::nullopt;
  VolumeStatus status;
  status.readOnly = (volume.f_flag & ST_RDONLY) != 0;
  status.availableBytes = static_cast<std::uint64_t>(volume.f_bavail) * volume.f_frsize;
  status.keepsModes = volumeKeepsModes(item.path());
  return status;
}

}  // namespace installer::posix
