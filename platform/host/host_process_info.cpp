#include <time.h>
#include <unistd.h>

#include <cstring>

#include "platform/host/host.h"

extern char** environ;

namespace installer::host {

std::map<std::string, std::string> HostProcessInfo::environment() {
  std::map<std::string, std::string> variables;
  for (char** entry = environ; entry && *entry; ++entry) {
    const char* separator = std::strchr(*entry, '=');
    if (!separator) continue;
    // The first definition of a name is the one getenv answers.
    variables.emplace(std::string(*entry, static_cast<std::size_t>(separator - *entry)), std::string(separator + 1));
  }
  return variables;
}

double HostProcessInfo::systemUptime() {
  struct timespec now {};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

std::unique_ptr<Activity> HostProcessInfo::beginActivity(const std::string&) {
  // Linux neither naps a process nor coalesces its timers: nothing to hold.
  return std::make_unique<Activity>();
}

}  // namespace installer::host
