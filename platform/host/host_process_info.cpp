#include <time.h>

#include "platform/host/host.h"

namespace installer {

double SystemProcessInfo::systemUptime() {
  struct timespec now {};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

std::unique_ptr<Activity> SystemProcessInfo::beginActivity(const std::string&) {
  // Linux neither naps a process nor coalesces its timers: nothing to hold.
  return std::make_unique<Activity>();
}

}  // namespace installer
