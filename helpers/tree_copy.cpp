#include "helpers/tree_copy.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "helpers/attribute_copy.h"
#include "helpers/file_data_copy.h"
#include "helpers/read_link.h"
#include "helpers/system_failure.h"
#include "helpers/unique_fd.h"
#include "helpers/xattr_copy.h"

namespace helpers {
namespace {

/// An entry named `name` in the open directory `directoryFd`.
struct Place {
  int directoryFd;
  const char* name;
  const std::string& path;
};

class TreeCopier {
 public:
  explicit TreeCopier(bool& rootCreated) : rootCreated_(rootCreated) {}

  /// Copies `source` to `destination`; `type` is the source's d_type when known.
  void copyEntry(const Place& source, const Place& destination, unsigned char type) {
    if (type == DT_REG) return copyFile(source, destination);
    if (type == DT_DIR) return copyDirectory(source, destination);
    struct stat status;
    if (::fstatat(source.directoryFd, source.name, &status, AT_SYMLINK_NOFOLLOW) != 0)
      throwSystemFailure("lstat", source.path, errno);
    if (S_ISREG(status.st_mode)) return copyFile(source, destination);
    if (S_ISDIR(status.st_mode)) return copyDirectory(source, destination);
    if (S_ISLNK(status.st_mode)) return copyLink(source, destination, status);
    if (S_ISSOCK(status.st_mode)) throw SystemFailure(printablePath(source.path) + ": is a socket (not copied)");
    copySpecial(source, destination, status);
  }

 private:
  void created() {
    if (depth_ == 0) rootCreated_ = true;
  }

  /// Owner, extended attributes, mode, then times: a change of owner may
  /// clear mode bits, and every other change touches the times.
  void copyAttributes(const struct stat& status, const AttributeHolder& from, const NewEntry& entry) {
    bool ownershipKept = copyOwnership(status, entry);
    copyExtendedAttributes(from, AttributeHolder{entry.fd, entry.path});
    copyMode(status, ownershipKept, entry);
    copyTimes(status, entry);
  }

  void copyFile(const Place& source, const Place& destination) {
    UniqueFd in(::openat(source.directoryFd, source.name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!in) throwSystemFailure("open", source.path, errno);
    struct stat status;
    if (::fstat(in.get(), &status) != 0) throwSystemFailure("fstat", source.path, errno);
    if (!S_ISREG(status.st_mode)) throw SystemFailure(printablePath(source.path) + ": changed while being copied");
    UniqueFd out(::openat(destination.directoryFd, destination.name,
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!out) throwSystemFailure("create", destination.path, errno);
    created();
    data_.copy(in.get(), out.get(), status, source.path, destination.path);
    // Starts the write-back at once, so that the installer's flush of the
    // whole copy finds little left to write. Only a hint: that flush reports
    // any failure.
    ::sync_file_range(out.get(), 0, 0, SYNC_FILE_RANGE_WRITE);
    copyAttributes(status, AttributeHolder{in.get(), source.path}, NewEntry{out.get(), -1, nullptr, destination.path});
    if (::close(out.release()) != 0) throwSystemFailure("close", destination.path, errno);
  }

  void copyDirectory(const Place& source, const Place& destination) {
    UniqueFd in(::openat(source.directoryFd, source.name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!in) throwSystemFailure("open", source.path, errno);
    struct stat status;
    if (::fstat(in.get(), &status) != 0) throwSystemFailure("fstat", source.path, errno);
    // Owner-only until its contents are in, whatever the source's mode.
    if (::mkdirat(destination.directoryFd, destination.name, 0700) != 0)
      throwSystemFailure("mkdir", destination.path, errno);
    created();
    UniqueFd out(::openat(destination.directoryFd, destination.name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!out) throwSystemFailure("open", destination.path, errno);
    copyContents(in.get(), source.path, out.get(), destination.path);
    copyAttributes(status, AttributeHolder{in.get(), source.path}, NewEntry{out.get(), -1, nullptr, destination.path});
  }

  void copyContents(int in, const std::string& sourcePath, int out, const std::string& destinationPath) {
    int streamFd = ::fcntl(in, F_DUPFD_CLOEXEC, 0);
    if (streamFd < 0) throwSystemFailure("dup", sourcePath, errno);
    UniqueDir stream(::fdopendir(streamFd));
    if (stream.get() == nullptr) {
      int error = errno;
      ::close(streamFd);
      throwSystemFailure("opendir", sourcePath, error);
    }
    ++depth_;
    for (;;) {
      errno = 0;
      const dirent* entry = ::readdir(stream.get());
      if (entry == nullptr) {
        if (errno != 0) throwSystemFailure("readdir", sourcePath, errno);
        break;
      }
      if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
      const std::string childSource = sourcePath + "/" + entry->d_name;
      const std::string childDestination = destinationPath + "/" + entry->d_name;
      copyEntry(Place{in, entry->d_name, childSource}, Place{out, entry->d_name, childDestination}, entry->d_type);
    }
    --depth_;
  }

  void copyLink(const Place& source, const Place& destination, const struct stat& status) {
    std::string target = readLinkTarget(source.directoryFd, source.name, source.path);
    if (::symlinkat(target.c_str(), destination.directoryFd, destination.name) != 0)
      throwSystemFailure("symlink", destination.path, errno);
    created();
    copyAttributes(status, AttributeHolder{-1, source.path},
                   NewEntry{-1, destination.directoryFd, destination.name, destination.path});
  }

  /// FIFOs and device nodes are made anew, as cp -R does.
  void copySpecial(const Place& source, const Place& destination, const struct stat& status) {
    if (::mknodat(destination.directoryFd, destination.name, (status.st_mode & S_IFMT) | 0600, status.st_rdev) != 0)
      throwSystemFailure("mknod", destination.path, errno);
    created();
    copyAttributes(status, AttributeHolder{-1, source.path},
                   NewEntry{-1, destination.directoryFd, destination.name, destination.path});
  }

  bool& rootCreated_;
  int depth_ = 0;
  FileDataCopier data_;
};

}  // namespace

void copyTree(const std::string& sourcePath, int destinationParentFd, const std::string& name,
              const std::string& destinationPath, bool& created) {
  TreeCopier copier(created);
  copier.copyEntry(Place{AT_FDCWD, sourcePath.c_str(), sourcePath},
                   Place{destinationParentFd, name.c_str(), destinationPath}, DT_UNKNOWN);
}

}  // namespace helpers
