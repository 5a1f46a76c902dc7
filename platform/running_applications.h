#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_url.h"

namespace installer {

/// One running application instance. A handle stays valid after its process
/// ends and never speaks for a later process that reuses the identifier.
class RunningApplication {
 public:
  virtual ~RunningApplication() = default;
  virtual bool isTerminated() const = 0;
  /// The bundle the process was started from, when known: where the user put
  /// it, also when the system runs it from a translocated copy.
  virtual std::optional<FileURL> bundleURL() const = 0;
  /// -1 for an application without a process.
  virtual int processIdentifier() const = 0;
  virtual bool isFinishedLaunching() const = 0;
  /// Asks the application to quit normally; false when the request was not delivered.
  virtual bool terminate() = 0;
  /// Sends `signal` to this very process, never to a later one with the same
  /// identifier where the platform can tell them apart; whether it was sent.
  /// By default `kill` through the platform's POSIX service.
  virtual bool sendSignal(int signal);
};

using RunningApplicationHandle = std::shared_ptr<RunningApplication>;

class RunningApplications {
 public:
  virtual ~RunningApplications() = default;
  /// A snapshot of the current user's instances with that bundle
  /// identifier, in the platform's order.
  virtual std::vector<RunningApplicationHandle> runningApplications(
      const std::string& bundleIdentifier) = 0;
};

}  // namespace installer
