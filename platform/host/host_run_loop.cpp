#include "platform/host/host_main_queue.h"
#include "platform/host/host_session.h"
#include "platform/posix/posix_system.h"

namespace installer::host {

HostRunLoop::HostRunLoop() : queue_(std::make_shared<MainQueue>()) {}

HostRunLoop::~HostRunLoop() = default;

bool HostRunLoop::runOnce(double limitSeconds) { return queue_->runOnce(limitSeconds); }

void HostRunLoop::sleep(double seconds) { posix::sleepFor(seconds); }

void HostRunLoop::dispatchToMain(std::function<void()> block) {
  queue_->dispatch(std::move(block));
}

void HostRunLoop::beginPendingOperation() { queue_->beginPendingOperation(); }

void HostRunLoop::endPendingOperation() { queue_->endPendingOperation(); }

}  // namespace installer::host
