#pragma once

// The main queue behind HostRunLoop, shared with the threads that report
// asynchronous operations into it.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace installer::host {

class MainQueue {
 public:
  /// Runs the blocks queued when the pass starts; with none queued but an
  /// operation pending, first waits up to `limitSeconds` for one. Answers
  /// false at once when nothing is queued or pending, true otherwise.
  bool runOnce(double limitSeconds);
  void dispatch(std::function<void()> block);
  void beginPendingOperation();
  void endPendingOperation();

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::function<void()>> blocks_;
  int pendingOperations_ = 0;
};

}  // namespace installer::host
