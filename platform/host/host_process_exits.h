#pragma once

// Exits of the processes that live running-application handles refer to: the
// host's counterpart of the workspace's termination notification, and with
// the main queue the run loop's input sources. Each handle holds a pidfd in a
// watch; a run-loop pass waits on the watches not yet reported and reports
// each exit once, so a process that has ended does not keep waking passes.

#include <atomic>
#include <memory>
#include <vector>

namespace installer::host {

class ProcessExitWatch {
 public:
  /// Takes ownership of `processDescriptor`, a pidfd.
  explicit ProcessExitWatch(int processDescriptor) : descriptor_(processDescriptor) {}
  ~ProcessExitWatch();
  ProcessExitWatch(const ProcessExitWatch&) = delete;
  ProcessExitWatch& operator=(const ProcessExitWatch&) = delete;

  int descriptor() const { return descriptor_; }
  /// Whether the process has exited (a zombie has), asked of the pidfd now.
  bool hasExited() const;
  bool isReported() const { return reported_; }
  void markReported() { reported_ = true; }

 private:
  int descriptor_;
  std::atomic<bool> reported_ = false;
};

/// A watch over the process behind `processDescriptor` (owned from now on),
/// listed for the run loop for as long as the answer lives.
std::shared_ptr<ProcessExitWatch> watchProcessExit(int processDescriptor);

/// The live watches whose exit has not been reported yet; holding them keeps
/// their descriptors open while a pass waits on them.
std::vector<std::shared_ptr<ProcessExitWatch>> unreportedProcessExits();

}  // namespace installer::host
