#include "helpers/file_io.h"

#include <unistd.h>

#include <cerrno>

#include "helpers/system_failure.h"

namespace helpers {

std::string readAll(int fd, const std::string& path, std::size_t largest) {
  std::string bytes;
  char buffer[1 << 16];
  while (bytes.size() <= largest) {
    ssize_t count = ::read(fd, buffer, sizeof buffer);
    if (count < 0) {
      if (errno == EINTR) continue;
      throwSystemFailure("read", path, errno);
    }
    if (count == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(count));
  }
  return bytes;
}

void writeAll(int fd, std::string_view bytes, const std::string& path) {
  while (!bytes.empty()) {
    ssize_t count = ::write(fd, bytes.data(), bytes.size());
    if (count < 0) {
      if (errno == EINTR) continue;
      throwSystemFailure("write", path, errno);
    }
    bytes.remove_prefix(static_cast<std::size_t>(count));
  }
}

}  // namespace helpers
