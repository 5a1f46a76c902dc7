#include "platform/posix/posix_system.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform_error.h"
#include "platform/posix/descriptors.h"
#include "platform/posix/file_tree.h"
#include "platform/posix/system_calls.h"

extern char** environ;

namespace installer::posix {
namespace {

// glibc's strerror_r answers the text (in `buffer` or a static string), the
// one of macOS an error code with the text in `buffer`.
[[maybe_unused]] std::string textOf(const char* answer, const char*) { return answer; }
[[maybe_unused]] std::string textOf(int answer, const char* buffer) {
  return answer == 0 ? buffer : "Unknown error " + std::to_string(answer);
}

}  // namespace

std::string errorText(int error) {
  char buffer[256] = {};
  return textOf(::strerror_r(error, buffer, sizeof buffer), buffer);
}

void fail(const std::string& what, int error) {
  throw PlatformError(what + ": " + errorText(error));
}

bool isDirectory(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool isUnsafePrivateFolder(const std::string& path, std::uint32_t user) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) return errno != ENOENT;
  return !S_ISDIR(status.st_mode) || status.st_uid != user ||
         (status.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

std::map<std::string, std::string> environmentVariables() {
  std::map<std::string, std::string> variables;
  for (char** entry = environ; entry && *entry; ++entry) {
    const char* separator = std::strchr(*entry, '=');
    if (!separator) continue;
    // The first definition of a name is the one getenv answers.
    variables.emplace(std::string(*entry, static_cast<std::size_t>(separator - *entry)),
                      std::string(separator + 1));
  }
  return variables;
}

bool processHasEnded(int processIdentifier) {
  // A process of another user answers EPERM: it is there.
  return processIdentifier > 0 && ::kill(processIdentifier, 0) != 0 && errno == ESRCH;
}

void sleepFor(double seconds) {
  if (!(seconds > 0)) return;  // also NaN
  double whole = 0;
  double fraction = std::modf(std::fmin(seconds, 1e9), &whole);
  timespec remaining{static_cast<time_t>(whole), static_cast<long>(fraction * 1e9)};
  while (::nanosleep(&remaining, &remaining) == -1 && errno == EINTR) {
  }
}

std::optional<FileStatus> PosixSystem::lstat(const std::string& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) return std::nullopt;
  return fileStatusOf(status);
}

std::optional<std::string> PosixSystem::realpath(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (!resolved) return std::nullopt;
  std::string result(resolved);
  std::free(resolved);
  return result;
}

int PosixSystem::openDirectory(const std::string& path) {
  return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

int PosixSystem::openDirectoryAt(int parent, const std::string& name) {
  return posix::openDirectoryAt(parent, name);
}

std::optional<FileStatus> PosixSystem::fstat(int descriptor) {
  return statusOfDescriptor(descriptor);
}

std::optional<FileStatus> PosixSystem::lstatAt(int parent, const std::string& name) {
  return statusAt(parent, name);
}

int PosixSystem::makeDirectoryAt(int parent, const std::string& name, std::uint32_t mode) {
  return posix::makeDirectoryAt(parent, name, mode);
}

int PosixSystem::exchangeAt(int firstParent, const std::string& firstName, int secondParent,
                            const std::string& secondName) {
  return exchangeEntriesAt(firstParent, firstName, secondParent, secondName);
}

int PosixSystem::moveAt(int fromParent, const std::string& fromName, int toParent,
                        const std::string& toName) {
  return renameWithoutReplacingAt(fromParent, fromName, toParent, toName);
}

int PosixSystem::removeTreeAt(int parent, const std::string& name, const FileStatus& expected) {
  return posix::removeTreeAt(parent, name, expected);
}

bool PosixSystem::lockExclusiveNonBlocking(int descriptor) {
  return ::flock(descriptor, LOCK_EX | LOCK_NB) == 0;
}

void PosixSystem::close(int descriptor) { ::close(descriptor); }

std::uint32_t PosixSystem::getuid() { return ::getuid(); }

int PosixSystem::kill(int processIdentifier, int signal) {
  return ::kill(processIdentifier, signal);
}

int PosixSystem::exchange(const std::string& first, const std::string& second) {
  return exchangeEntries(first, second);
}

int PosixSystem::symbolicLink(const std::string& target, const std::string& path) {
  return ::symlink(target.c_str(), path.c_str()) == 0 ? 0 : errno;
}

std::string PosixSystem::strerror(int error) { return errorText(error); }

void PosixSystem::writeStandardError(const std::string& text) {
  std::fputs(text.c_str(), stderr);
  std::fflush(stderr);
}

void PosixSystem::exit(int status) { std::exit(status); }

}  // namespace installer::posix
