#include "platform/host/host_main_queue.h"

namespace installer {

SystemRunLoop::SystemRunLoop() : state_(std::make_shared<State>()) {}

bool SystemRunLoop::runOnce(double limitSeconds) { return state_->runOnce(limitSeconds); }

void SystemRunLoop::dispatchToMain(std::function<void()> block) {
  state_->dispatch(std::move(block));
}

}  // namespace installer
