#include "helpers/tree_removal.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "helpers/system_failure.h"
#include "helpers/unique_fd.h"

namespace helpers {
namespace {

bool reportFailure(const std::string& operation, const std::string& path, int error) {
  std::fprintf(stderr, "cp: %s\n", describeFailure(operation, path, error).c_str());
  return false;
}

/// Empties the open directory `fd`.
bool removeContents(int fd, const std::string& path) {
  // Our own copy may already carry a read-only mode.
  ::fchmod(fd, 0700);
  int streamFd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (streamFd < 0) return reportFailure("dup", path, errno);
  UniqueDir stream(::fdopendir(streamFd));
  if (stream.get() == nullptr) {
    int error = errno;
    ::close(streamFd);
    return reportFailure("opendir", path, error);
  }
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(stream.get())) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
      names.emplace_back(entry->d_name);
  }
  bool removedAll = true;
  for (const std::string& name : names) removedAll = removeTree(fd, name.c_str(), path + "/" + name) && removedAll;
  return removedAll;
}

}  // namespace

bool removeTree(int directoryFd, const char* name, const std::string& path) {
  struct stat status;
  if (::fstatat(directoryFd, name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno == ENOENT) return true;
    return reportFailure("lstat", path, errno);
  }
  if (!S_ISDIR(status.st_mode)) {
    if (::unlinkat(directoryFd, name, 0) != 0 && errno != ENOENT) return reportFailure("unlink", path, errno);
    return true;
  }
  UniqueFd directory(::openat(directoryFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!directory) return reportFailure("open", path, errno);
  bool emptied = removeContents(directory.get(), path);
  directory.reset();
  if (::unlinkat(directoryFd, name, AT_REMOVEDIR) != 0) return emptied && reportFailure("rmdir", path, errno);
  return emptied;
}

}  // namespace helpers
