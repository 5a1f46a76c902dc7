#pragma once

// A running application on the host: one process, recognised by its pid and
// its start time so that a later process reusing the pid is never taken for it.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/running_applications.h"

namespace installer::host {

/// What /proc/PID/stat tells of a process.
struct ProcessStat {
  char state = '?';
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
  /// The pid is gone, belongs to a later process, or is a zombie.
  bool isTerminated() const override;
  std::optional<FileURL> bundleURL() const override;
  int processIdentifier() const override { return processIdentifier_; }
  bool isFinishedLaunching() const override { return !isTerminated(); }
  /// SIGTERM to this process, unless it is already terminated.
  bool terminate() override;

 private:
  int processIdentifier_;
  std::uint64_t startTime_;
  std::string bundlePath_;
};

}  // namespace installer::host
