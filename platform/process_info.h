#pragma once

#include <functional>
#include <map>
#include <string>

namespace installer {

class ProcessInfo {
 public:
  virtual ~ProcessInfo() = default;
  virtual std::map<std::string, std::string> environment() = 0;
  /// Seconds of monotonic time since boot.
  virtual double systemUptime() = 0;
};

/// The main run loop and the main dispatch queue.
class RunLoop {
 public:
  virtual ~RunLoop() = default;
  /// One pass in the default mode, waiting at most `limitSeconds`; false at
  /// once when there is nothing to wait on.
  virtual bool runOnce(double limitSeconds) = 0;
  /// `NSThread sleepForTimeInterval:`.
  virtual void sleep(double seconds) = 0;
  /// Queues `block` for the main thread; callable from any thread.
  virtual void dispatchToMain(std::function<void()> block) = 0;
};

}  // namespace installer
