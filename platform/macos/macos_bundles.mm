#import <Foundation/Foundation.h>

#include <cerrno>

#include "platform/macos/macos.h"
#include "platform/macos/macos_foundation.h"
#include "platform/macos/macos_property_list.h"
#include "platform/posix/bounded_read.h"

namespace installer {

std::optional<BundleContents> SystemBundles::open(const FileURL& bundle) {
  return macos::withinAutoreleasePool([&bundle]() -> std::optional<BundleContents> {
    // A plain file would be read as a program with an embedded Info dictionary.
    if (!posix::isDirectory(bundle.path())) return std::nullopt;
    // Read afresh and beneath the bundle, never through NSBundle or CFBundle:
    // both keep one instance per path with the Info dictionary read first
    // (the transaction reads a location again after it has exchanged the
    // bundle there), and would follow a link out of the bundle and read a
    // file of any size.
    posix::FileBytes bytes = posix::readBundleInfoFile(bundle.path());
    const bool refused = bytes.error == EPERM || bytes.error == EACCES;
    if (bytes.error != 0 && bytes.error != ENOENT && !refused) return std::nullopt;
    PropertyDictionary entries;
    if (bytes.error == 0) {
      NSData* data = [NSData dataWithBytes:bytes.bytes.data() length:bytes.bytes.size()];
      NSDictionary* info = [NSPropertyListSerialization propertyListWithData:data
                                                                     options:NSPropertyListImmutable
                                                                      format:nullptr
                                                                       error:nullptr];
      if (![info isKindOfClass:[NSDictionary class]]) info = nil;
      for (NSString* key in info) {
        if (![key isKindOfClass:[NSString class]]) continue;
        std::optional<PropertyValue> value = macos::propertyValueOf([info objectForKey:key]);
        if (value) entries.push_back(PropertyEntry{macos::utf8OfString(key), std::move(*value)});
      }
    }
    BundleContents contents = bundleContentsOf(bundle, std::move(entries));
    contents.infoRefused = refused;
    return contents;
  });
}

FileURL SystemBundles::mainBundleURL() {
  return macos::withinAutoreleasePool(
      [] { return macos::locationOfFileURL([NSBundle mainBundle].bundleURL).value_or(FileURL()); });
}

std::optional<FileURL> SystemBundles::mainResourceURL() {
  return macos::withinAutoreleasePool(
      [] { return macos::locationOfFileURL([NSBundle mainBundle].resourceURL); });
}

}  // namespace installer
