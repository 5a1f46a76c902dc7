#include "helpers/link_escape.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

namespace helpers {
namespace {

/// Adds the depth change of each component of `path` to `depth`; answers
/// false as soon as the walk climbs above the bundle root.
bool descend(std::string_view path, long& depth) {
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    std::string_view component = path.substr(start, end - start);
    if (component == "..") {
      if (--depth < 0) return false;
    } else if (!component.empty() && component != ".") {
      ++depth;
    }
    start = end + 1;
  }
  return true;
}

}  // namespace

bool linkLeadsOutside(const std::string& linkRelative, const std::string& target) {
  if (target.empty() || target.front() == '/') return true;
  long depth = 0;
  size_t slash = linkRelative.rfind('/');
  std::string_view directory =
      slash == std::string::npos ? std::string_view() : std::string_view(linkRelative).substr(0, slash);
  if (!descend(directory, depth)) return true;
  return !descend(target, depth);
}

bool linkResolvesOutside(int bundleFd, const std::string& linkRelative) {
  open_how how{};
  how.flags = O_PATH | O_CLOEXEC;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
  for (;;) {
    // Through syscall(2): the C library of the build machines has no wrapper.
    long fd = ::syscall(SYS_openat2, bundleFd, linkRelative.c_str(), &how, sizeof how);
    if (fd >= 0) {
      ::close(static_cast<int>(fd));
      return false;
    }
    if (errno == EAGAIN || errno == EINTR) continue;
    // EXDEV: the walk left the bundle; ELOOP: it never ends. ENOENT and
    // ENOTDIR: it ends at nothing inside, which the seal covers as it is.
    return errno != ENOENT && errno != ENOTDIR;
  }
}

}  // namespace helpers
