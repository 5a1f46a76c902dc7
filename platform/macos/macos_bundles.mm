#import <CoreFoundation/CoreFoundation.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/macos/macos.h"
#include "platform/macos/macos_foundation.h"
#include "platform/macos/macos_property_list.h"

namespace installer::macos {
namespace {

/// Far above any real Info.plist; a larger one is not read.
constexpr off_t maximumInfoSize = 1 << 20;

/// Whether Contents and Contents/Info.plist are no links and the Info.plist,
/// where there is one, a regular file of at most 1 MiB: the bundle service
/// would follow a link out of the bundle and read a file of any size.
bool hasPlainInfoFile(const FileURL& bundle) {
  struct stat status {};
  const std::string contents = bundle.appendingPathComponent("Contents").path();
  if (::lstat(contents.c_str(), &status) != 0) return errno == ENOENT;
  if (!S_ISDIR(status.st_mode)) return false;
  const std::string info = contents + "/Info.plist";
  if (::lstat(info.c_str(), &status) != 0) return errno == ENOENT;
  return S_ISREG(status.st_mode) && status.st_size <= maximumInfoSize;
}

}  // namespace

std::optional<BundleContents> MacBundles::open(const FileURL& bundle) {
  return withinAutoreleasePool([&bundle]() -> std::optional<BundleContents> {
    // A plain file would be read as a program with an embedded Info dictionary.
    struct stat status {};
    if (::stat(bundle.path().c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
      return std::nullopt;
    }
    NSURL* url = fileURLOfLocation(bundle);
    if (!url || !hasPlainInfoFile(bundle)) return std::nullopt;
    // Read afresh, never through NSBundle or CFBundle: both keep one instance
    // per path with the Info dictionary read first, and the transaction reads
    // a location again after it has exchanged the bundle there.
    NSDictionary* info =
        CFBridgingRelease(CFBundleCopyInfoDictionaryForURL((__bridge CFURLRef)url));
    // Keys the system adds with values of no property-list kind, such as the
    // Info.plist's own URL, are left out.
    PropertyDictionary entries;
    for (NSString* key in info) {
      if (![key isKindOfClass:[NSString class]]) continue;
      std::optional<PropertyValue> value = propertyValueOf([info objectForKey:key]);
      if (value) entries.push_back(PropertyEntry{utf8OfString(key), std::move(*value)});
    }
    return bundleContentsOf(bundle, std::move(entries));
  });
}

FileURL MacBundles::mainBundleURL() {
  return withinAutoreleasePool(
      [] { return locationOfFileURL([NSBundle mainBundle].bundleURL).value_or(FileURL()); });
}

std::optional<FileURL> MacBundles::mainResourceURL() {
  return withinAutoreleasePool([] { return locationOfFileURL([NSBundle mainBundle].resourceURL); });
}

}  // namespace installer::macos
