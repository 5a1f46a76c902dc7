#include <time.h>

#include <cerrno>
#include <cmath>

#include "platform/host/host_main_queue.h"
#include "platform/host/host_session.h"

namespace installer::host {

HostRunLoop::HostRunLoop() : queue_(std::make_shared<MainQueue>()) {}

HostRunLoop::~HostRunLoop() = default;

bool HostRunLoop::runOnce(double limitSeconds) { return queue_->runOnce(limitSeconds); }

void HostRunLoop::sleep(double seconds) {
  if (!(seconds > 0)) return;  // also NaN
  double whole = 0;
  double fraction = std::modf(std::fmin(seconds, 1e9), &whole);
  timespec remaining{static_cast<time_t>(whole), static_cast<long>(fraction * 1e9)};
  while (nanosleep(&remaining, &remaining) == -1 && errno == EINTR) {
  }
}

void HostRunLoop::dispatchToMain(std::function<void()> block) {
  queue_->dispatch(std::move(block));
}

void HostRunLoop::beginPendingOperation() { queue_->beginPendingOperation(); }

void HostRunLoop::endPendingOperation() { queue_->endPendingOperation(); }

}  // namespace installer::host
