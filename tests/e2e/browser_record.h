#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "common.h"
#include "spawn.h"

namespace e2e {

/// What one fixture browser instance noted when it started.
struct BrowserStart {
  pid_t pid = 0;
  Environment environment;
  std::vector<std::string> arguments;  ///< without the program name
  pid_t session = 0;
  pid_t parent = 0;
  std::filesystem::path workingDirectory;
  std::filesystem::path executable;
  /// "N -> target", one per descriptor open at start, in number order.
  std::vector<std::string> descriptors;
};

/// The record folder a fixture bundle was made with (BundleSpec::record).
class BrowserRecord {
 public:
  explicit BrowserRecord(std::filesystem::path folder) : folder_(std::move(folder)) {}

  const std::filesystem::path& folder() const { return folder_; }
  /// "START PID", "TERM PID", "EXIT PID" lines in the order they happened.
  std::vector<std::string> events() const;
  /// The pids of the instances that started, in order.
  std::vector<pid_t> starts() const { return noting("START"); }
  /// The pids that noted `event`, in order.
  std::vector<pid_t> noting(std::string_view event) const;
  /// The events other than a multi-process browser's SPAWN and END lines.
  std::vector<std::string> lifecycle() const;
  /// How often instance `pid` noted `event` ("TERM", "EXIT", ...).
  int count(std::string_view event, pid_t pid) const;
  /// The record of instance `pid`; throws HarnessError when it has none.
  BrowserStart start(pid_t pid) const;
  /// Waits until at least `count` instances started; answers the last of
  /// them. Throws HarnessError with the events so far when the wait runs out.
  BrowserStart waitForStarts(std::size_t count = 1,
                             std::chrono::milliseconds limit = waitLimit) const;
  /// Waits until `event` was noted `count` times; answers the pids in order.
  /// Throws HarnessError with the events so far when the wait runs out.
  std::vector<pid_t> waitForNoted(std::string_view event, std::size_t count,
                                  std::chrono::milliseconds limit = waitLimit) const;
  /// Waits until instance `pid` noted `event`; answers whether it did.
  bool waitForEvent(std::string_view event, pid_t pid,
                    std::chrono::milliseconds limit = waitLimit) const;

 private:
  std::filesystem::path folder_;
};

}  // namespace e2e
