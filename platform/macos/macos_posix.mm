#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/macos/macos.h"

namespace installer::macos {

std::optional<FileStatus> MacPosix::lstat(const std::string& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) return std::nullopt;
  return FileStatus{static_cast<std::int64_t>(status.st_dev), status.st_ino, status.st_mode,
                    status.st_uid};
}

std::optional<std::string> MacPosix::realpath(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (!resolved) return std::nullopt;
  std::string result(resolved);
  std::free(resolved);
  return result;
}

int MacPosix::openDirectory(const std::string& path) {
  return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

bool MacPosix::lockExclusiveNonBlocking(int descriptor) {
  return ::flock(descriptor, LOCK_EX | LOCK_NB) == 0;
}

void MacPosix::close(int descriptor) { ::close(descriptor); }

std::uint32_t MacPosix::getuid() { return ::getuid(); }

int MacPosix::kill(int processIdentifier, int signal) { return ::kill(processIdentifier, signal); }

int MacPosix::exchange(const std::string& first, const std::string& second) {
  if (::renamex_np(first.c_str(), second.c_str(), RENAME_SWAP) == 0) return 0;
  return errno;
}

std::string MacPosix::strerror(int error) { return ::strerror(error); }

void MacPosix::writeStandardError(const std::string& text) {
  std::fputs(text.c_str(), stderr);
  std::fflush(stderr);
}

void MacPosix::exit(int status) { std::exit(status); }

}  // namespace installer::macos
