#include "platform/host/host_main_queue.h"
#include "platform/posix/posix_system.h"

namespace installer {

SystemRunLoop::SystemRunLoop() : state_(std::make_shared<State>()) {}

SystemRunLoop::~SystemRunLoop() = default;

bool SystemRunLoop::runOnce(double limitSeconds) { return state_->runOnce(limitSeconds); }

void SystemRunLoop::sleep(double seconds) { posix::sleepFor(seconds); }

void SystemRunLoop::dispatchToMain(std::function<void()> block) {
  state_->dispatch(std::move(block));
}

}  // namespace installer
