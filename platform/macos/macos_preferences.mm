#import <CoreFoundation/CoreFoundation.h>
#import <Foundation/Foundation.h>

#include <mutex>
#include <set>

#include "platform/macos/macos.h"
#include "platform/macos/macos_foundation.h"
#include "platform/macos/macos_property_list.h"

namespace installer {

struct SystemPreferences::State {
  std::mutex mutex;
  /// Applications with a change not stored since their last synchronization.
  std::set<std::string> refusedChanges;
};

SystemPreferences::SystemPreferences() : state_(std::make_unique<State>()) {}
SystemPreferences::~SystemPreferences() = default;

std::optional<PropertyValue> SystemPreferences::copyValue(const std::string& key,
                                                          const std::string& application) {
  return macos::withinAutoreleasePool([&]() -> std::optional<PropertyValue> {
    NSString* name = macos::stringOfUTF8(key);
    NSString* domain = macos::stringOfUTF8(application);
    if (!name || !domain) return std::nullopt;
    id value = CFBridgingRelease(CFPreferencesCopyValue((__bridge CFStringRef)name,
                                                        (__bridge CFStringRef)domain,
                                                        kCFPreferencesCurrentUser,
                                                        kCFPreferencesAnyHost));
    return macos::propertyValueOf(value);
  });
}

void SystemPreferences::setValue(const std::string& key, const PropertyValue& value,
                                 const std::string& application) {
  macos::withinAutoreleasePool([&] {
    NSString* name = macos::stringOfUTF8(key);
    NSString* domain = macos::stringOfUTF8(application);
    id object = macos::propertyListObjectOf(value);
    if (!name || !domain || !object) {
      std::lock_guard lock(state_->mutex);
      state_->refusedChanges.insert(application);
      return;
    }
    CFPreferencesSetValue((__bridge CFStringRef)name, (__bridge CFPropertyListRef)object,
                          (__bridge CFStringRef)domain, kCFPreferencesCurrentUser,
                          kCFPreferencesAnyHost);
  });
}

bool SystemPreferences::synchronize(const std::string& application) {
  bool refused = false;
  {
    std::lock_guard lock(state_->mutex);
    refused = state_->refusedChanges.erase(application) > 0;
  }
  return macos::withinAutoreleasePool([&] {
    NSString* domain = macos::stringOfUTF8(application);
    if (!domain) return false;
    bool written = CFPreferencesSynchronize((__bridge CFStringRef)domain,
                                            kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
    return written && !refused;
  });
}

}  // namespace installer
