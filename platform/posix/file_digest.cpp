#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "helpers/unique_fd.h"
#include "platform/posix/posix_system.h"
#include "platform/posix/system_calls.h"

namespace installer::posix {

// Streamed through a fixed buffer: a browser's main framework is hundreds of
// megabytes, and every update verifies it several times.
std::optional<std::string> PosixSystem::sha256OfFile(const std::string& path) {
  // O_NONBLOCK: a FIFO planted in the file's place must not hang the open.
  helpers::UniqueFd file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!file) return std::nullopt;
  struct stat status {};
  if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
  Sha256 digest;
  static constexpr std::size_t bufferSize = 65536;
  auto buffer = std::make_unique<char[]>(bufferSize);
  for (;;) {
    ssize_t count = ::read(file.get(), buffer.get(), bufferSize);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return std::nullopt;
    if (count == 0) break;
    if (!digest.update(buffer.get(), static_cast<std::size_t>(count))) return std::nullopt;
  }
  std::optional<std::array<unsigned char, 32>> bytes = digest.finish();
  if (!bytes) return std::nullopt;
  std::string hex;
  for (unsigned char byte : *bytes) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", byte);
    hex += pair;
  }
  return hex;
}

}  // namespace installer::posix
