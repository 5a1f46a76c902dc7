#include "platform/host/host_main_queue.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "platform/host/host_process_exits.h"
#include "platform/platform_error.h"

namespace installer::host {
namespace {

// Longer waits than this are cut, so that converting the limit to
// milliseconds cannot overflow.
constexpr double longestWaitSeconds = 1e6;

double monotonicSeconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

}  // namespace

MainQueue::MainQueue() : wakeUp_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (wakeUp_ < 0) throw PlatformError("Could not create the main queue's event descriptor");
}

MainQueue::~MainQueue() { close(wakeUp_); }

void MainQueue::waitForInput(const std::vector<std::shared_ptr<ProcessExitWatch>>& exits,
                             double limitSeconds) {
  std::vector<pollfd> sources{{wakeUp_, POLLIN, 0}};
  for (const auto& watch : exits) sources.push_back({watch->descriptor(), POLLIN, 0});

  const double deadline =
      monotonicSeconds() + (limitSeconds > 0 ? std::fmin(limitSeconds, longestWaitSeconds) : 0);
  int ready;
  do {
    double remaining = std::fmax(deadline - monotonicSeconds(), 0);
    ready = poll(sources.data(), sources.size(), static_cast<int>(std::ceil(remaining * 1000)));
  } while (ready < 0 && errno == EINTR);
  for (std::size_t index = 1; ready > 0 && index < sources.size(); ++index) {
    if (sources[index].revents != 0) exits[index - 1]->markReported();
  }
}

bool MainQueue::runOnce(double limitSeconds) {
  std::deque<std::function<void()>> batch;
  {
    std::unique_lock lock(mutex_);
    if (blocks_.empty()) {
      const std::vector<std::shared_ptr<ProcessExitWatch>> exits = unreportedProcessExits();
      if (pendingOperations_ == 0 && exits.empty()) return false;
      // Wake-ups written before this point are for blocks already run; only
      // later ones, written once the lock is released, may end the wait.
      std::uint64_t count;
      while (read(wakeUp_, &count, sizeof count) > 0) {
      }
      lock.unlock();
      waitForInput(exits, limitSeconds);
      lock.lock();
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

void MainQueue::wake() {
  std::uint64_t one = 1;
  ssize_t written = write(wakeUp_, &one, sizeof one);
  (void)written;  // a full counter already wakes the waiter
}

void MainQueue::dispatch(std::function<void()> block) {
  {
    std::lock_guard lock(mutex_);
    blocks_.push_back(std::move(block));
  }
  wake();
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
  wake();
}

}  // namespace installer::host
