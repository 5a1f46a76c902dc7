#pragma once

// The main queue behind HostRunLoop, shared with the threads that report
// asynchronous operations into it.

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/system_services.h"

namespace installer::host {

class ProcessExitWatch;

class MainQueue {
 public:
  MainQueue();
  ~MainQueue();
  MainQueue(const MainQueue&) = delete;
  MainQueue& operator=(const MainQueue&) = delete;

  /// Runs the blocks queued when the pass starts. With none queued, waits up
  /// to `limitSeconds` for an input source, handles it and runs what it
  /// queued: a block arriving, the end of a pending operation, or the exit of
  /// a process that a live running-application handle refers to (each exit
  /// handled once). Answers false at once when there is nothing to wait on,
  /// true otherwise.
  bool runOnce(double limitSeconds);
  void dispatch(std::function<void()> block);
  /// An asynchronous operation started or ended: while one is pending a
  /// pass waits for blocks instead of answering false at once.
  void beginPendingOperation();
  void endPendingOperation();

 private:
  void wake();
  /// Waits up to `limitSeconds` for a wake-up or one of `exits`, marking
  /// the exits that happened as reported.
  void waitForInput(const std::vector<std::shared_ptr<ProcessExitWatch>>& exits,
                    double limitSeconds);

  std::mutex mutex_;
  std::deque<std::function<void()>> blocks_;
  int pendingOperations_ = 0;
  /// An eventfd written on every dispatch and on the end of an operation.
  int wakeUp_;
};

}  // namespace installer::host

namespace installer {

struct SystemRunLoop::State final : host::MainQueue {};

}  // namespace installer
