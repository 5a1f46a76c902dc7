#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>

namespace installer {

/// Work a person started and waits for: while it is held the system neither
/// naps the process nor stretches its timers. It ends when destroyed, so a
/// copy would end it twice.
class Activity {
 public:
  Activity() = default;
  Activity(const Activity&) = delete;
  Activity& operator=(const Activity&) = delete;
  virtual ~Activity() = default;
};

class ProcessInfo {
 public:
  virtual ~ProcessInfo() = default;
  virtual std::map<std::string, std::string> environment() = 0;
  /// Seconds of monotonic time since boot.
  virtual double systemUptime() = 0;
  /// Begins an activity that lasts as long as the answer; `reason` names it
  /// in the system's diagnostics.
  virtual std::unique_ptr<Activity> beginActivity(const std::string& reason) = 0;
};

/// The main run loop and the main dispatch queue.
class RunLoop {
 public:
  virtual ~RunLoop() = default;
  /// One pass in the default mode, waiting at most `limitSeconds`; false at
  /// once when there is nothing to wait on.
  virtual bool runOnce(double limitSeconds) = 0;
  /// Sleeps on the monotonic clock without turning the run loop.
  virtual void sleep(double seconds) = 0;
  /// Queues `block` for the main thread; callable from any thread.
  virtual void dispatchToMain(std::function<void()> block) = 0;
};

}  // namespace installer
