// The members of the services declared once that are the same POSIX call on
// both systems.

#include "platform/system_services.h"

#include "platform/posix/posix_system.h"

namespace installer {

std::map<std::string, std::string> SystemProcessInfo::environment() {
  return posix::environmentVariables();
}

void SystemRunLoop::sleep(double seconds) { posix::sleepFor(seconds); }

}  // namespace installer
