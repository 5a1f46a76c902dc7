#pragma once

#include <sys/stat.h>

#include <string>

namespace helpers {

/// Receives every entry of a bundle below its root, parents before children.
/// Relative paths never start with "/" and never name the seal file itself.
class SealVisitor {
 public:
  virtual ~SealVisitor() = default;
  virtual void directory(const std::string& relative, const struct stat& status) = 0;
  /// A regular file `name` in the open directory `directoryFd`.
  virtual void file(int directoryFd, const char* name, const std::string& relative) = 0;
  virtual void symlink(const std::string& relative, const std::string& target) = 0;
  /// A nested bundle: the walk does not enter it; its own seal covers it.
  virtual void nestedBundle(int directoryFd, const char* name, const std::string& relative,
                            const struct stat& status) = 0;
  /// Anything that is neither a file, a directory nor a symbolic link.
  virtual void unsupported(const std::string& relative) = 0;
};

/// Whether the directory `name` at `relative` is a nested bundle: an `*.app`
/// or `*.framework` anywhere inside Contents/.
bool isNestedBundle(const std::string& relative, const std::string& name);

/// Walks the bundle open at `bundleFd` (whose path is `bundlePath`, for
/// diagnostics) without following any symbolic link. Throws SystemFailure when
/// a directory cannot be read, and whatever the visitor throws.
void walkBundle(int bundleFd, const std::string& bundlePath, SealVisitor& visitor);

}  // namespace helpers
