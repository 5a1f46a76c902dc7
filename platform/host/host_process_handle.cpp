#include "platform/host/host_process_handle.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <string_view>

namespace installer::host {
namespace {

std::optional<std::string> readSmallFile(int directory, const char* path) {
  int descriptor = openat(directory, path, O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) return std::nullopt;
  std::string text;
  char buffer[1024];
  for (;;) {
    ssize_t count = read(descriptor, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) {
      close(descriptor);
      if (count < 0) return std::nullopt;
      return text;
    }
    text.append(buffer, static_cast<size_t>(count));
  }
}

bool isExited(char state) { return state == 'Z' || state == 'X' || state == 'x'; }

// Through syscall(2): glibc's <sys/pidfd.h> of some releases cannot be used
// from C++ (its declarations lack C linkage). The pidfd is close-on-exec.
int openProcessDescriptor(int processIdentifier) {
  return static_cast<int>(syscall(SYS_pidfd_open, processIdentifier, 0u));
}

bool signalThrough(int processDescriptor, int signal) {
  return syscall(SYS_pidfd_send_signal, processDescriptor, signal, nullptr, 0u) == 0;
}

}  // namespace

std::optional<ProcessStat> parseProcessStat(const std::string& text) {
  // The command name (field 2) may hold spaces and parentheses, so fields are
  // counted from the last closing parenthesis on.
  size_t close = text.rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::string_view rest = std::string_view(text).substr(close + 1);
  ProcessStat stat;
  int field = 2;
  size_t position = 0;
  while (position < rest.size()) {
    while (position < rest.size() && rest[position] == ' ') ++position;
    size_t end = rest.find(' ', position);
    if (end == std::string_view::npos) end = rest.size();
    std::string_view token = rest.substr(position, end - position);
    position = end;
    if (token.empty()) break;
    ++field;
    if (field == 3) {
      stat.state = token[0];
    } else if (field == 4) {
      auto [last, error] = std::from_chars(token.data(), token.data() + token.size(),
                                           stat.parentProcessIdentifier);
      if (error != std::errc() || last != token.data() + token.size()) return std::nullopt;
    } else if (field == 22) {
      auto [last, error] =
          std::from_chars(token.data(), token.data() + token.size(), stat.startTime);
      if (error != std::errc() || last != token.data() + token.size()) return std::nullopt;
      return stat;
    }
  }
  return std::nullopt;
}

std::optional<ProcessStat> readProcessStat(int directory, const char* path) {
  std::optional<std::string> text = readSmallFile(directory, path);
  if (!text) return std::nullopt;
  return parseProcessStat(*text);
}

std::optional<ProcessStat> readProcessStat(int processIdentifier) {
  std::string path = "/proc/" + std::to_string(processIdentifier) + "/stat";
  return readProcessStat(AT_FDCWD, path.c_str());
}

HostProcessHandle::HostProcessHandle(int processIdentifier, std::uint64_t startTime,
                                     std::string bundlePath)
    : processIdentifier_(processIdentifier),
      startTime_(startTime),
      bundlePath_(std::move(bundlePath)) {
  int descriptor = openProcessDescriptor(processIdentifier);
  if (descriptor < 0) {
    gone_ = errno == ESRCH;
    return;
  }
  // The pid may have been reused before the pidfd was taken; once taken, it
  // stays with the process it was checked against.
  std::optional<ProcessStat> stat = readProcessStat(processIdentifier);
  if (!stat || stat->startTime != startTime) {
    close(descriptor);
    gone_ = true;
    return;
  }
  exitWatch_ = watchProcessExit(descriptor);
}

bool HostProcessHandle::isTerminated() const {
  if (gone_) return true;
  if (exitWatch_) return exitWatch_->hasExited();
  std::optional<ProcessStat> stat = readProcessStat(processIdentifier_);
  return !stat || stat->startTime != startTime_ || isExited(stat->state);
}

std::optional<FileURL> HostProcessHandle::bundleURL() const {
  return FileURL::fromAbsolutePath(bundlePath_);
}

bool HostProcessHandle::terminate() { return sendSignal(SIGTERM); }

bool HostProcessHandle::sendSignal(int signal) {
  if (exitWatch_) {
    return !exitWatch_->hasExited() && signalThrough(exitWatch_->descriptor(), signal);
  }
  if (gone_) return false;
  // Without a pidfd of its own, one taken now before the identity check pins
  // the process.
  int pidfd = openProcessDescriptor(processIdentifier_);
  if (pidfd < 0 && errno != ENOSYS && errno != EPERM) return false;  // ESRCH: gone
  bool delivered = false;
  if (!isTerminated()) {
    delivered = pidfd >= 0 ? signalThrough(pidfd, signal) : kill(processIdentifier_, signal) == 0;
  }
  if (pidfd >= 0) close(pidfd);
  return delivered;
}

}  // namespace installer::host
