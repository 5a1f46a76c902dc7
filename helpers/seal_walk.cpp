#include "helpers/seal_walk.h"

#include <dirent.h>
#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "helpers/bundle_seal.h"
#include "helpers/read_link.h"
#include "helpers/system_failure.h"
#include "helpers/unique_fd.h"

namespace helpers {
namespace {

bool endsWith(const std::string& text, std::string_view suffix) {
  return text.size() > suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

void walkDirectory(int directoryFd, const std::string& relativeDirectory,
                   const std::string& bundlePath, SealVisitor& visitor) {
  const std::string directoryPath =
      relativeDirectory.empty() ? bundlePath : bundlePath + "/" + relativeDirectory;
  int streamFd = ::fcntl(directoryFd, F_DUPFD_CLOEXEC, 0);
  if (streamFd < 0) throwSystemFailure("dup", directoryPath, errno);
  UniqueDir stream(::fdopendir(streamFd));
  if (stream.get() == nullptr) {
    int error = errno;
    ::close(streamFd);
    throwSystemFailure("opendir", directoryPath, error);
  }
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(stream.get());
    if (entry == nullptr) {
      if (errno != 0) throwSystemFailure("readdir", directoryPath, errno);
      return;
    }
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    const std::string relative = relativeDirectory.empty() ? name : relativeDirectory + "/" + name;
    if (relative == sealRelativePath) continue;

    struct stat status;
    if (::fstatat(directoryFd, name, &status, AT_SYMLINK_NOFOLLOW) != 0)
      throwSystemFailure("lstat", bundlePath + "/" + relative, errno);
    if (S_ISREG(status.st_mode)) {
      visitor.file(directoryFd, name, relative);
    } else if (S_ISLNK(status.st_mode)) {
      visitor.symlink(relative, readLinkTarget(directoryFd, name, bundlePath + "/" + relative));
    } else if (S_ISDIR(status.st_mode)) {
      if (isNestedBundle(relative, name)) {
        visitor.nestedBundle(directoryFd, name, relative, status);
        continue;
      }
      UniqueFd child(::openat(directoryFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      if (!child) throwSystemFailure("open", bundlePath + "/" + relative, errno);
      if (::fstat(child.get(), &status) != 0)
        throwSystemFailure("fstat", bundlePath + "/" + relative, errno);
      visitor.directory(relative, status);
      walkDirectory(child.get(), relative, bundlePath, visitor);
    } else {
      visitor.unsupported(relative);
    }
  }
}

}  // namespace

bool isNestedBundle(const std::string& relative, const std::string& name) {
  return relative.starts_with("Contents/") && (endsWith(name, ".app") || endsWith(name, ".framework"));
}

void walkBundle(int bundleFd, const std::string& bundlePath, SealVisitor& visitor) {
  walkDirectory(bundleFd, "", bundlePath, visitor);
}

}  // namespace helpers
