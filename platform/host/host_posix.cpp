#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/host/host.h"

namespace installer::host {

std::string systemErrorText(int error) {
  char buffer[256];
  // The GNU variant answers either `buffer` or a static string.
  return ::strerror_r(error, buffer, sizeof buffer);
}

std::optional<FileStatus> HostPosix::lstat(const std::string& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) return std::nullopt;
  return FileStatus{static_cast<std::int64_t>(status.st_dev),
                    status.st_ino,
                    status.st_mode,
                    status.st_uid,
                    static_cast<std::uint64_t>(status.st_size),
                    static_cast<std::uint64_t>(status.st_blocks) * 512};
}

std::optional<std::string> HostPosix::realpath(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (!resolved) return std::nullopt;
  std::string result(resolved);
  std::free(resolved);
  return result;
}

int HostPosix::openDirectory(const std::string& path) {
  return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

bool HostPosix::lockExclusiveNonBlocking(int descriptor) {
  return ::flock(descriptor, LOCK_EX | LOCK_NB) == 0;
}

void HostPosix::close(int descriptor) { ::close(descriptor); }

std::uint32_t HostPosix::getuid() { return ::getuid(); }

int HostPosix::kill(int processIdentifier, int signal) { return ::kill(processIdentifier, signal); }

int HostPosix::exchange(const std::string& first, const std::string& second) {
  if (::renameat2(AT_FDCWD, first.c_str(), AT_FDCWD, second.c_str(), RENAME_EXCHANGE) == 0) {
    return 0;
  }
  return errno;
}

std::string HostPosix::strerror(int error) { return systemErrorText(error); }

void HostPosix::writeStandardError(const std::string& text) {
  std::fputs(text.c_str(), stderr);
  std::fflush(stderr);
}

void HostPosix::exit(int status) { std::exit(status); }

}  // namespace installer::host
