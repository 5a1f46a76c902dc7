#import <CoreFoundation/CoreFoundation.h>
#include <dlfcn.h>

#include "platform/macos/macos.h"
#include "platform/macos/macos_foundation.h"
#include "platform/macos/macos_running_application.h"

namespace installer::macos {
namespace {

/// Where the user put the bundle that `url` names. A quarantined application
/// opened from a download folder runs from a randomized read-only mount (App
/// Translocation), whose path and whose device and inode match no bundle the
/// transaction verified: locations are compared by the original. `url` itself
/// when it is not translocated or the original cannot be told.
NSURL* untranslocated(NSURL* url) {
  // Security.framework exports these without a header in the SDK (the types
  // are those of its published SecTranslocate.h). Looked up at run time: a
  // macOS without them would refuse to start a program linked to them.
  using IsTranslocated = Boolean (*)(CFURLRef, bool*, CFErrorRef*);
  using OriginalPath = CFURLRef (*)(CFURLRef, CFErrorRef*);
  static const auto isTranslocated =
      reinterpret_cast<IsTranslocated>(::dlsym(RTLD_DEFAULT, "SecTranslocateIsTranslocatedURL"));
  static const auto originalPath = reinterpret_cast<OriginalPath>(
      ::dlsym(RTLD_DEFAULT, "SecTranslocateCreateOriginalPathForURL"));
  bool translocated = false;
  if (!url || !isTranslocated || !originalPath ||
      !isTranslocated((__bridge CFURLRef)url, &translocated, nullptr) || !translocated) {
    return url;
  }
  NSURL* original = CFBridgingRelease(originalPath((__bridge CFURLRef)url, nullptr));
  return original ? original : url;
}

}  // namespace

MacRunningApplication::MacRunningApplication(NSRunningApplication* application)
    : application_(application) {}

bool MacRunningApplication::isTerminated() const {
  if (application_.terminated) return true;
  // The flag changes only as the run loop turns, while terminate already
  // answers NO for an application that has just ended; the process tells at
  // once. A later process reusing the number only delays the answer.
  return posix::processHasEnded(application_.processIdentifier);
}

std::optional<FileURL> MacRunningApplication::bundleURL() const {
  return withinAutoreleasePool(
      [&] { return locationOfFileURL(untranslocated(application_.bundleURL)); });
}

int MacRunningApplication::processIdentifier() const { return application_.processIdentifier; }

bool MacRunningApplication::isFinishedLaunching() const {
  return application_.finishedLaunching;
}

bool MacRunningApplication::terminate() { return [application_ terminate]; }

}  // namespace installer::macos

namespace installer {

std::vector<RunningApplicationHandle> SystemRunningApplications::runningApplications(
    const std::string& bundleIdentifier) {
  std::vector<RunningApplicationHandle> handles;
  macos::withinAutoreleasePool([&] {
    NSString* identifier = macos::stringOfUTF8(bundleIdentifier);
    // No application carries an identifier that is not text.
    if (!identifier) return;
    for (NSRunningApplication* application in
         [NSRunningApplication runningApplicationsWithBundleIdentifier:identifier]) {
      handles.push_back(std::make_shared<macos::MacRunningApplication>(application));
    }
  });
  return handles;
}

}  // namespace installer
