#include "platform/macos/macos.h"
#include "platform/macos/macos_foundation.h"
#include "platform/macos/macos_running_application.h"

namespace installer::macos {

MacRunningApplication::MacRunningApplication(NSRunningApplication* application)
    : application_(application) {}

bool MacRunningApplication::isTerminated() const { return application_.terminated; }

std::optional<FileURL> MacRunningApplication::bundleURL() const {
  @autoreleasepool {
    return locationOfFileURL(application_.bundleURL);
  }
}

int MacRunningApplication::processIdentifier() const { return application_.processIdentifier; }

bool MacRunningApplication::isFinishedLaunching() const {
  return application_.finishedLaunching;
}

bool MacRunningApplication::terminate() { return [application_ terminate]; }

std::vector<RunningApplicationHandle> MacRunningApplications::runningApplications(
    const std::string& bundleIdentifier) {
  std::vector<RunningApplicationHandle> handles;
  @autoreleasepool {
    NSString* identifier = stringOfUTF8(bundleIdentifier);
    // No application carries an identifier that is not text.
    if (!identifier) return handles;
    for (NSRunningApplication* application in
         [NSRunningApplication runningApplicationsWithBundleIdentifier:identifier]) {
      handles.push_back(std::make_shared<MacRunningApplication>(application));
    }
  }
  return handles;
}

}  // namespace installer::macos
