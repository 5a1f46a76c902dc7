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
    NSURL* url = fileURLOfLocation(bundle);
    if (!url || !hasPlainInfoFile(bundle)) return std::nullopt;
    // initWithURL: answers the instance this process already made for the
    // path, with the Info dictionary and executable it read then: a location
    // must not be opened again after its item was exchanged in this process.
    NSBundle* opened = [[NSBundle alloc] initWithURL:url];
    if (!opened) return std::nullopt;
    BundleContents contents;
    if (NSString* identifier = opened.bundleIdentifier) {
      contents.bundleIdentifier = utf8OfString(identifier);
    }
    // A name that could climb out of Contents/MacOS names no executable.
    id executableName = [opened objectForInfoDictionaryKey:@"CFBundleExecutable"];
    if ([executableName isKindOfClass:[NSString class]] &&
        isSingleName(utf8OfString(executableName))) {
      contents.executableURL = locationOfFileURL(opened.executableURL);
    }
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
