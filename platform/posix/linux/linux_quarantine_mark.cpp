#include <sys/xattr.h>

#include <cerrno>

#include "platform/posix.h"
#include "platform/posix/system_calls.h"

namespace installer::posix {

int removeQuarantineMark(const std::string& path, std::uint32_t mode) {
  // Links and special files cannot carry user attributes on Linux.
  const std::uint32_t type = mode & fileTypeMask;
  if (type != regularFileType && type != directoryType) return 0;
  if (::lremovexattr(path.c_str(), "user.com.apple.quarantine") == 0) return 0;
  return errno == ENODATA || errno == ENOTSUP ? 0 : errno;
}

}  // namespace installer::posix
