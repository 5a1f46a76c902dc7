#import <CoreFoundation/CoreFoundation.h>
#import <Foundation/Foundation.h>

#include <mutex>
#include <set>

#include "platform/macos/macos.h"
#include "platform/macos/macos_foundation.h"
#include "platform/macos/macos_property_list.h"

namespace installer::macos {

struct MacPreferences::State {
  std::mutex mutex;
  /// Applications with a change that could not be stored since their last
  /// synchronization: reporting success for them would lose it silently.
  std::set<std::string> refusedChanges;
};

MacPreferences::MacPreferences() : state_(std::make_unique<State>()) {}
MacPreferences::~MacPreferences() = default;

std::optional<PropertyValue> MacPreferences::copyValue(const std::string& key,
                                                       const std::string& application) {
  return withinAutoreleasePool([&]() -> std::optional<PropertyValue> {
    NSString* name = stringOfUTF8(key);
    NSString* domain = stringOfUTF8(application);
    if (!name || !domain) return std::nullopt;
    id value = CFBridgingRelease(CFPreferencesCopyValue((__bridge CFStringRef)name,
                                                        (__bridge CFStringRef)domain,
                                                        kCFPreferencesCurrentUser,
                                                        kCFPreferencesAnyHost));
    return propertyValueOf(value);
  });
}

void MacPreferences::setValue(const std::string& key, const PropertyValue& value,
                              const std::string& application) {
  withinAutoreleasePool([&] {
    NSString* name = stringOfUTF8(key);
    NSString* domain = stringOfUTF8(application);
    id object = propertyListObjectOf(value);
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

bool MacPreferences::synchronize(const std::string& application) {
  bool refused = false;
  {
    std::lock_guard lock(state_->mutex);
    refused = state_->refusedChanges.erase(application) > 0;
  }
  return withinAutoreleasePool([&] {
    NSString* domain = stringOfUTF8(application);
    if (!domain) return false;
    bool written = CFPreferencesSynchronize((__bridge CFStringRef)domain,
                                            kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
    return written && !refused;
  });
}

}  // namespace installer::macos
