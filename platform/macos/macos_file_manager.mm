#include "platform/macos/macos.h"
#include "platform/macos/macos_foundation.h"

namespace installer::macos {
namespace {

/// Throws the error of a file-manager call that answered NO.
void check(BOOL succeeded, NSError* error, const std::string& fallback) {
  if (!succeeded) throw platformErrorOf(error, fallback);
}

std::vector<FileURL> locationsOf(NSArray<NSURL*>* urls) {
  std::vector<FileURL> locations;
  for (NSURL* url in urls) {
    if (std::optional<FileURL> location = locationOfFileURL(url)) locations.push_back(*location);
  }
  return locations;
}

}  // namespace

void MacFileManager::trashItem(const FileURL& item) {
  withinAutoreleasePool([&] {
    const std::string operation = "Could not move to the Trash";
    NSURL* url = requiredFileURL(item, operation);
    NSError* error = nil;
    BOOL trashed = [[NSFileManager defaultManager] trashItemAtURL:url
                                                 resultingItemURL:nullptr
                                                            error:&error];
    check(trashed, error, operation + " " + item.path());
  });
}

std::vector<FileURL> MacFileManager::applicationSupportDirectories() {
  return withinAutoreleasePool([&] {
    NSFileManager* files = [NSFileManager defaultManager];
    return locationsOf([files URLsForDirectory:NSApplicationSupportDirectory
                                     inDomains:NSUserDomainMask]);
  });
}

std::string MacFileManager::homeDirectory() {
  return withinAutoreleasePool([&] { return utf8OfString(NSHomeDirectory()); });
}

}  // namespace installer::macos
