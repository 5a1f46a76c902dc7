#include <sys/xattr.h>

#include <cerrno>

#include "platform/posix/system_calls.h"

namespace installer::posix {

// Symbolic links carry attributes of their own on macOS, the mark included.
int removeQuarantineMark(const std::string& path, std::uint32_t) {
  if (::removexattr(path.c_str(), "com.apple.quarantine", XATTR_NOFOLLOW) == 0) return 0;
  return errno == ENOATTR || errno == ENOTSUP ? 0 : errno;
}

}  // namespace installer::posix
