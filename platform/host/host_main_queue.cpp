#include "platform/host/host_main_queue.h"

#include <chrono>
#include <cmath>
#include <utility>

namespace installer::host {
namespace {

// Longer waits than this are cut, so that converting the limit to the clock's
// integer ticks cannot overflow.
constexpr double longestWaitSeconds = 1e6;

std::chrono::duration<double> waitFor(double limitSeconds) {
  if (!(limitSeconds > 0)) return std::chrono::duration<double>(0);  // also NaN
  return std::chrono::duration<double>(std::fmin(limitSeconds, longestWaitSeconds));
}

}  // namespace

bool MainQueue::runOnce(double limitSeconds) {
  std::deque<std::function<void()>> batch;
  {
    std::unique_lock lock(mutex_);
    if (blocks_.empty()) {
      if (pendingOperations_ == 0) return false;
      auto deadline =
          std::chrono::steady_clock::now() +
          std::chrono::duration_cast<std::chrono::steady_clock::duration>(waitFor(limitSeconds));
      changed_.wait_until(lock, deadline,
                          [&] { return !blocks_.empty() || pendingOperations_ == 0; });
    }
    batch.swap(blocks_);
  }
  while (!batch.empty()) {
    std::function<void()> block = std::move(batch.front());
    batch.pop_front();
    try {
      block();
    } catch (...) {
      // The blocks behind the failed one keep their turn, ahead of newer ones.
      std::lock_guard lock(mutex_);
      while (!batch.empty()) {
        blocks_.push_front(std::move(batch.back()));
        batch.pop_back();
      }
      throw;
    }
  }
  return true;
}

void MainQueue::dispatch(std::function<void()> block) {
  {
    std::lock_guard lock(mutex_);
    blocks_.push_back(std::move(block));
  }
  changed_.notify_all();
}

void MainQueue::beginPendingOperation() {
  std::lock_guard lock(mutex_);
  ++pendingOperations_;
}

void MainQueue::endPendingOperation() {
  {
    std::lock_guard lock(mutex_);
    if (pendingOperations_ > 0) --pendingOperations_;
  }
  changed_.notify_all();
}

}  // namespace installer::host
