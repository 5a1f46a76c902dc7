#include "platform/host/host_process_exits.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>

namespace installer::host {
namespace {

/// Handles are made on the main thread and on launch threads alike.
struct Registry {
  std::mutex mutex;
  std::vector<std::weak_ptr<ProcessExitWatch>> watches;
};

Registry& registry() {
  // Never destroyed: a launch thread may still make a handle while the
  // process exits.
  static Registry* const instance = new Registry;
  return *instance;
}

}  // namespace

ProcessExitWatch::~ProcessExitWatch() { close(descriptor_); }

bool ProcessExitWatch::hasExited() const {
  pollfd entry{descriptor_, POLLIN, 0};
  return poll(&entry, 1, 0) > 0 && (entry.revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

std::shared_ptr<ProcessExitWatch> watchProcessExit(int processDescriptor) {
  auto watch = std::make_shared<ProcessExitWatch>(processDescriptor);
  Registry& all = registry();
  std::lock_guard lock(all.mutex);
  all.watches.push_back(watch);
  return watch;
}

std::vector<std::shared_ptr<ProcessExitWatch>> unreportedProcessExits() {
  std::vector<std::shared_ptr<ProcessExitWatch>> live;
  Registry& all = registry();
  std::lock_guard lock(all.mutex);
  std::erase_if(all.watches, [&](const std::weak_ptr<ProcessExitWatch>& entry) {
    std::shared_ptr<ProcessExitWatch> watch = entry.lock();
    if (!watch) return true;
    if (!watch->isReported()) live.push_back(std::move(watch));
    return false;
  });
  return live;
}

}  // namespace installer::host
