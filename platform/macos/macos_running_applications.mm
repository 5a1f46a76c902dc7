#include <signal.h>

#include <cerrno>

#include "platform/macos/macos.h"
#include "platform/macos/macos_foundation.h"
#include "platform/macos/macos_running_application.h"

namespace installer::macos {

MacRunningApplication::MacRunningApplication(NSRunningApplication* application)
    : application_(application) {}

bool MacRunningApplication::isTerminated() const {
  if (application_.terminated) return true;
  // The flag changes only as the run loop turns, while terminate already
  // answers NO for an application that has just ended; the process tells at
  // once. A later process reusing the number only delays the answer.
  const pid_t process = application_.processIdentifier;
  return process > 0 && ::kill(process, 0) != 0 && errno == ESRCH;
}

std::optional<FileURL> MacRunningApplication::bundleURL() const {
  return withinAutoreleasePool([&] {
    return locationOfFileURL(application_.bundleURL);
  });
}

int MacRunningApplication::processIdentifier() const { return application_.processIdentifier; }

bool MacRunningApplication::isFinishedLaunching() const {
  return application_.finishedLaunching;
}

bool MacRunningApplication::terminate() { return [application_ terminate]; }

std::vector<RunningApplicationHandle> MacRunningApplications::runningApplications(
    const std::string& bundleIdentifier) {
  std::vector<RunningApplicationHandle> handles;
  withinAutoreleasePool([&] {
    NSString* identifier = stringOfUTF8(bundleIdentifier);
    // No application carries an identifier that is not text.
    if (!identifier) return;
    for (NSRunningApplication* application in
         [NSRunningApplication runningApplicationsWithBundleIdentifier:identifier]) {
      handles.push_back(std::make_shared<MacRunningApplication>(application));
    }
  });
  return handles;
}

}  // namespace installer::macos
