#import <AppKit/AppKit.h>

#include "platform/macos/macos.h"
#include "platform/macos/macos_foundation.h"
#include "platform/macos/macos_running_application.h"

namespace installer::macos {
namespace {

/// The completion's call, kept from throwing into the system's queue, where
/// an exception would end the process.
void complete(const OpenCompletion& completion, RunningApplicationHandle handle,
              std::exception_ptr error) {
  try {
    completion(std::move(handle), error);
  } catch (...) {
  }
}

/// The environment as the workspace takes it; nil when a name or a value is not UTF-8.
NSDictionary<NSString*, NSString*>* environmentOf(
    const std::map<std::string, std::string>& variables) {
  NSMutableDictionary<NSString*, NSString*>* environment = [NSMutableDictionary dictionary];
  for (const auto& [name, value] : variables) {
    NSString* key = stringOfUTF8(name);
    NSString* text = stringOfUTF8(value);
    if (!key || !text) return nil;
    [environment setObject:text forKey:key];
  }
  return environment;
}

}  // namespace

void MacWorkspace::openApplication(const FileURL& bundle, const OpenConfiguration& configuration,
                                   OpenCompletion completion) {
  withinAutoreleasePool([&] {
    const std::string failure = "open application " + bundle.path();
    NSURL* url = fileURLOfLocation(bundle);
    NSWorkspaceOpenConfiguration* settings = [NSWorkspaceOpenConfiguration configuration];
    [settings setCreatesNewApplicationInstance:configuration.createsNewApplicationInstance];
    std::string invalid = url ? std::string() : "the path is not valid UTF-8";
    if (configuration.environment) {
      NSDictionary<NSString*, NSString*>* environment = environmentOf(*configuration.environment);
      if (environment) {
        [settings setEnvironment:environment];
      } else if (invalid.empty()) {
        invalid = "an environment variable is not valid UTF-8";
      }
    }
    if (!invalid.empty()) {
      // Nothing was asked of the system, so nothing else will answer.
      PlatformError refused(failure + ": " + invalid);
      complete(completion, nullptr, std::make_exception_ptr(refused));
      return;
    }
    [[NSWorkspace sharedWorkspace]
        openApplicationAtURL:url
               configuration:settings
           completionHandler:^(NSRunningApplication* application, NSError* error) {
             RunningApplicationHandle handle;
             if (application) handle = std::make_shared<MacRunningApplication>(application);
             std::exception_ptr reported;
             if (error) reported = std::make_exception_ptr(platformErrorOf(error, failure));
             complete(completion, std::move(handle), reported);
           }];
  });
}

bool MacWorkspace::isRegistered(const FileURL& bundle, const std::string& bundleIdentifier) {
  try {
    return withinAutoreleasePool([&] {
      NSURL* url = fileURLOfLocation(bundle);
      NSString* identifier = stringOfUTF8(bundleIdentifier);
      if (!url || !identifier) return false;
      // Standardized alike, so that "/private" and a trailing slash do not
      // tell one place from itself; compare: (not literal) takes canonically
      // equivalent paths as equal, as the file system does.
      NSString* path = [[url URLByStandardizingPath] path];
      NSArray<NSURL*>* registered =
          [[NSWorkspace sharedWorkspace] URLsForApplicationsWithBundleIdentifier:identifier];
      for (NSURL* candidate in registered) {
        NSString* candidatePath = [[candidate URLByStandardizingPath] path];
        if (path && candidatePath && [candidatePath compare:path] == NSOrderedSame) return true;
      }
      return false;
    });
  } catch (const PlatformError&) {
    return false;  // an exception of the workspace's
  }
}

}  // namespace installer::macos
