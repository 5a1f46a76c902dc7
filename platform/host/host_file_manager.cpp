#include <dirent.h>
#include <fcntl.h>
#include <fts.h>
#include <gio/gio.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "platform/host/host.h"
#include "platform/platform_error.h"

namespace installer::host {
namespace {

[[noreturn]] void fail(const std::string& what, int error) {
  throw PlatformError(what + ": " + systemErrorText(error));
}

bool isDirectory(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

/// `mkdir -p` of every folder above `path`; an existing folder is fine even
/// where mkdir would answer EACCES or EROFS.
void createParents(const std::string& path) {
  const std::size_t lastKept = path.find_last_not_of('/');
  const std::size_t slash = lastKept == std::string::npos ? lastKept : path.rfind('/', lastKept);
  if (slash == std::string::npos || slash == 0) return;
  if (g_mkdir_with_parents(path.substr(0, slash).c_str(), 0777) != 0) {
    fail("Could not create directory " + path, errno);
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
      break;
    }
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(std::move(name));
  }
  return names;
}

/// Opens a directory for listing without following a final symbolic link
/// when `followLink` is false.
DIR* openDirectoryAt(int parent, const std::string& name, bool followLink) {
  int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW);
  int fd = ::openat(parent, name.c_str(), flags);
  if (fd < 0) return nullptr;
  DIR* directory = ::fdopendir(fd);
  if (!directory) {
    int error = errno;
    ::close(fd);
    errno = error;
  }
  return directory;
}

void removeContents(int parent, const std::string& name, const std::string& path);

/// Removes `name` in `parent`; a symbolic link goes as a link.
void removeEntry(int parent, const std::string& name, const std::string& path) {
  if (::unlinkat(parent, name.c_str(), 0) == 0) return;
  int error = errno;
  // Linux answers EISDIR for a real directory (never for a link to one).
  if (error != EISDIR) fail("Could not remove " + path, error);
  removeContents(parent, name, path);
  if (::unlinkat(parent, name.c_str(), AT_REMOVEDIR) != 0) fail("Could not remove " + path, errno);
}

void removeContents(int parent, const std::string& name, const std::string& path) {
  DIR* directory = openDirectoryAt(parent, name, false);
  if (!directory) fail("Could not remove " + path, errno);
  try {
    for (const std::string& entry : entryNames(directory, path)) {
      removeEntry(::dirfd(directory), entry, path + "/" + entry);
    }
  } catch (...) {
    ::closedir(directory);
    throw;
  }
  ::closedir(directory);
}

/// The entries of `directory`, sorted: readdir's order depends on the file
/// system, and a sorted list keeps every run alike.
std::vector<FileURL> sortedEntries(const FileURL& directory, bool includingHidden) {
  const std::string& path = directory.path();
  DIR* handle = openDirectoryAt(AT_FDCWD, path, true);
  if (!handle) fail("Could not list directory " + path, errno);
  std::vector<std::string> names;
  try {
    names = entryNames(handle, path);
  } catch (...) {
    ::closedir(handle);
    throw;
  }
  ::closedir(handle);
  std::sort(names.begin(), names.end());
  std::vector<FileURL> entries;
  for (const std::string& name : names) {
    if (includingHidden || name.front() != '.') {
      entries.push_back(directory.appendingPathComponent(name));
    }
  }
  return entries;
}

std::string oneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  return text;
}

}  // namespace

void HostFileManager::createDirectory(const FileURL& directory, bool withIntermediateDirectories,
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

void HostFileManager::moveItem(const FileURL& from, const FileURL& to) {
  if (::renameat2(AT_FDCWD, from.path().c_str(), AT_FDCWD, to.path().c_str(),
                  RENAME_NOREPLACE) != 0) {
    fail("Could not move " + from.path() + " to " + to.path(), errno);
  }
}

void HostFileManager::removeItem(const FileURL& item) {
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

void HostFileManager::trashItem(const FileURL& item) {
  GFile* file = g_file_new_for_path(item.path().c_str());
  GError* error = nullptr;
  gboolean trashed = g_file_trash(file, nullptr, &error);
  g_object_unref(file);
  if (trashed) return;
  std::string reason = error ? oneLine(error->message) : "unknown error";
  if (error) g_error_free(error);
  throw PlatformError("Could not move " + item.path() + " to the Trash: " + reason);
}

void HostFileManager::removeQuarantine(const FileURL& item) {
  const std::string& path = item.path();
  const std::string operation = "Could not remove the quarantine mark of ";
  char* roots[] = {const_cast<char*>(path.c_str()), nullptr};
  FTS* tree = ::fts_open(roots, FTS_PHYSICAL | FTS_NOCHDIR, nullptr);
  if (!tree) fail(operation + path, errno);
  std::string failedPath;
  int failure = 0;
  while (failure == 0) {
    errno = 0;
    FTSENT* entry = ::fts_read(tree);
    if (!entry) {
      failure = errno;  // 0 once the whole tree was seen
      failedPath = path;
      break;
    }
    failedPath = entry->fts_path;
    switch (entry->fts_info) {
      case FTS_DNR:
      case FTS_ERR:
      case FTS_NS:
        failure = entry->fts_errno;
        break;
      case FTS_D:
      case FTS_F:
        // Links and special files cannot carry user attributes on Linux.
        if (::lremovexattr(entry->fts_path, "user.com.apple.quarantine") != 0 && errno != ENODATA &&
            errno != ENOTSUP) {
          failure = errno;
        }
        break;
      default:
        break;
    }
  }
  ::fts_close(tree);
  if (failure != 0) fail(operation + failedPath, failure);
}

std::vector<FileURL> HostFileManager::contentsOfDirectory(const FileURL& directory) {
  return sortedEntries(directory, false);
}

std::vector<FileURL> HostFileManager::contentsOfDirectoryIncludingHidden(const FileURL& directory) {
  return sortedEntries(directory, true);
}

}  // namespace installer::host
