#include "helpers/read_link.h"

#include <unistd.h>

#include <cerrno>
#include <vector>

#include "helpers/system_failure.h"

namespace helpers {

std::string readLinkTarget(int directoryFd, const char* name, const std::string& path) {
  std::vector<char> buffer(256);
  for (;;) {
    ssize_t length = ::readlinkat(directoryFd, name, buffer.data(), buffer.size());
    if (length < 0) throwSystemFailure("readlink", path, errno);
    if (static_cast<size_t>(length) < buffer.size()) return std::string(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace helpers
