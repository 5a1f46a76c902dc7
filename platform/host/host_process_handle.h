#pragma once

// A running application on the host: one process, pinned by a pidfd taken
// while its start time still matched, so that a later process reusing the pid
// is never taken for it; without a pidfd, recognised by pid and start time.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/running_applications.h"
#include "platform/host/host_process_exits.h"

namespace installer::host {

/// What /proc/PID/stat tells of a process.
struct ProcessStat {
  char state = '?';
  int parentProcessIdentifier = 0;
  /// Clock ticks after boot.
  std::uint64_t startTime = 0;
};

/// Parses the text of /proc/PID/stat; nothing when it is malformed.
std::optional<ProcessStat> parseProcessStat(const std::string& text);
/// Reads `stat` relative to `directory` (a /proc/PID descriptor, or AT_FDCWD
/// with a "/proc/PID/stat" path); nothing when the process is gone.
std::optional<ProcessStat> readProcessStat(int directory, const char* path);
std::optional<ProcessStat> readProcessStat(int processIdentifier);

class HostProcessHandle final : public RunningApplication {
 public:
  HostProcessHandle(int processIdentifier, std::uint64_t startTime, std::string bundlePath);
  /// The process has exited (a zombie has), or the pid belongs to a later one.
  bool isTerminated() const override;
  std::optional<FileURL> bundleURL() const override;
  int processIdentifier() const override { return processIdentifier_; }
  bool isFinishedLaunching() const override { return !isTerminated(); }
  /// SIGTERM to this process, unless it is already terminated.
  bool terminate() override;
  /// Through the pidfd, so a reused identifier is never signalled.
  bool sendSignal(int signal) override;

 private:
  int processIdentifier_;
  std::uint64_t startTime_;
  std::string bundlePath_;
  /// Set when the process was already gone, or another, as the handle was made.
  bool gone_ = false;
  /// Absent where pidfds cannot be had; then /proc answers.
  std::shared_ptr<ProcessExitWatch> exitWatch_;
};

}  // namespace installer::host
