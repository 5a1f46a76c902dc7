#include <algorithm>

#include "platform/macos/macos.h"
#include "platform/macos/macos_foundation.h"

namespace installer {
namespace {

/// Throws the error of a file-manager call that answered NO.
void check(BOOL succeeded, NSError* error, const std::string& fallback) {
  if (!succeeded) throw macos::platformErrorOf(error, fallback);
}

std::vector<FileURL> locationsOf(NSArray<NSURL*>* urls) {
  std::vector<FileURL> locations;
  for (NSURL* url in urls) {
    if (std::optional<FileURL> location = macos::locationOfFileURL(url))
      locations.push_back(*location);
  }
  return locations;
}

/// The number the volume of `url` keeps under `key`; nil when it keeps none.
NSNumber* volumeNumber(NSURL* url, NSString* key) {
  id value = nil;
  if (![url getResourceValue:&value forKey:key error:nullptr]) return nil;
  return [value isKindOfClass:[NSNumber class]] ? value : nil;
}

}  // namespace

void SystemFileManager::trashItem(const FileURL& item) {
  macos::withinAutoreleasePool([&] {
    const std::string operation = "Could not move to the Trash";
    NSURL* url = macos::requiredFileURL(item, operation);
    checkTrashFolders(item, {macos::utf8OfString(NSHomeDirectory()) + "/.Trash"});
    NSError* error = nil;
    BOOL trashed = [[NSFileManager defaultManager] trashItemAtURL:url
                                                 resultingItemURL:nullptr
                                                            error:&error];
    check(trashed, error, operation + " " + item.path());
  });
}

std::vector<FileURL> SystemFileManager::applicationSupportDirectories() {
  return macos::withinAutoreleasePool([&] {
    NSFileManager* files = [NSFileManager defaultManager];
    return locationsOf([files URLsForDirectory:NSApplicationSupportDirectory
                                     inDomains:NSUserDomainMask]);
  });
}

std::string SystemFileManager::homeDirectory() {
  return macos::withinAutoreleasePool([&] { return macos::utf8OfString(NSHomeDirectory()); });
}

std::optional<VolumeStatus> SystemFileManager::volumeOf(const FileURL& item) {
  std::optional<VolumeStatus> status = PosixFileManager::volumeOf(item);
  if (!status) return std::nullopt;
  macos::withinAutoreleasePool([&] {
    // A new URL object each time: an NSURL caches the resource values it
    // was asked for, and the free space of a minute ago would answer.
    NSURL* url = macos::fileURLOfLocation(item);
    if (!url) return;
    // What the system would free for a file the user asked for (purgeable
    // space and caches included), as the Finder shows it: statvfs counts
    // less on APFS and would refuse installations that fit.
    if (NSNumber* capacity = volumeNumber(url, NSURLVolumeAvailableCapacityForImportantUsageKey)) {
      status->availableBytes = static_cast<std::uint64_t>(std::max(0LL, capacity.longLongValue));
    }
    // The exchange is renamex_np's RENAME_SWAP, which exFAT, FAT, SMB and
    // NFS volumes refuse; the volume knows before anything is tried.
    if (NSNumber* swaps = volumeNumber(url, NSURLVolumeSupportsSwapRenamingKey)) {
      status->supportsExchange = swaps.boolValue;
    }
    if (NSNumber* links = volumeNumber(url, NSURLVolumeSupportsSymbolicLinksKey)) {
      status->supportsSymbolicLinks = links.boolValue;
    }
  });
  return status;
}

}  // namespace installer
