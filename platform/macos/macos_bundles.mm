#include "platform/macos/macos.h"
#include "platform/macos/macos_foundation.h"
#include "platform/macos/macos_property_list.h"

namespace installer::macos {

std::optional<BundleContents> MacBundles::open(const FileURL& bundle) {
  @autoreleasepool {
    NSURL* url = fileURLOfLocation(bundle);
    if (!url) return std::nullopt;
    NSBundle* opened = [[NSBundle alloc] initWithURL:url];
    if (!opened) return std::nullopt;
    BundleContents contents;
    if (NSString* identifier = opened.bundleIdentifier) {
      contents.bundleIdentifier = utf8OfString(identifier);
    }
    contents.executableURL = locationOfFileURL(opened.executableURL);
    // Every key of the Info dictionary, each with the value
    // objectForInfoDictionaryKey: answers (the localized one where there is
    // one). Keys the system adds with values of no property-list kind, such
    // as the Info.plist's own URL, are left out.
    for (NSString* key in opened.infoDictionary) {
      if (![key isKindOfClass:[NSString class]]) continue;
      std::optional<PropertyValue> value =
          propertyValueOf([opened objectForInfoDictionaryKey:key]);
      if (value) contents.info.push_back(PropertyEntry{utf8OfString(key), std::move(*value)});
    }
    return contents;
  }
}

FileURL MacBundles::mainBundleURL() {
  @autoreleasepool {
    return locationOfFileURL([NSBundle mainBundle].bundleURL).value_or(FileURL());
  }
}

std::optional<FileURL> MacBundles::mainResourceURL() {
  @autoreleasepool {
    return locationOfFileURL([NSBundle mainBundle].resourceURL);
  }
}

}  // namespace installer::macos
