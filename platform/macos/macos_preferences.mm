#import <CoreFoundation/CoreFoundation.h>
#import <Foundation/Foundation.h>

#include "platform/macos/macos.h"
#include "platform/macos/macos_foundation.h"
#include "platform/macos/macos_property_list.h"

namespace installer::macos {

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
      std::lock_guard lock(mutex_);
      refusedChanges_.insert(application);
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
    std::lock_guard lock(mutex_);
    refused = refusedChanges_.erase(application) > 0;
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
