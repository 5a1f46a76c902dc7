#include <fts.h>
#include <sys/xattr.h>

#include <cerrno>
#include <cstring>

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

/// The entries directly inside `directory`, listed with `options`.
std::vector<FileURL> entriesOf(const FileURL& directory, NSDirectoryEnumerationOptions options) {
  return withinAutoreleasePool([&] {
    const std::string operation = "Could not list directory";
    NSURL* url = requiredFileURL(directory, operation);
    NSError* error = nil;
    NSArray<NSURL*>* entries = [[NSFileManager defaultManager] contentsOfDirectoryAtURL:url
                                                             includingPropertiesForKeys:@[]
                                                                                options:options
                                                                                  error:&error];
    check(entries != nil, error, operation + " " + directory.path());
    return locationsOf(entries);
  });
}

}  // namespace

void MacFileManager::createDirectory(const FileURL& directory, bool withIntermediateDirectories,
                                     std::optional<unsigned> posixPermissions) {
  withinAutoreleasePool([&] {
    const std::string operation = "Could not create directory";
    NSURL* url = requiredFileURL(directory, operation);
    NSDictionary<NSString*, id>* attributes = nil;
    if (posixPermissions) {
      attributes = @{NSFilePosixPermissions : [NSNumber numberWithUnsignedInt:*posixPermissions]};
    }
    NSError* error = nil;
    BOOL created = [[NSFileManager defaultManager] createDirectoryAtURL:url
                                            withIntermediateDirectories:withIntermediateDirectories
                                                             attributes:attributes
                                                                  error:&error];
    check(created, error, operation + " " + directory.path());
  });
}

void MacFileManager::moveItem(const FileURL& from, const FileURL& to) {
  withinAutoreleasePool([&] {
    const std::string operation = "Could not move";
    NSURL* source = requiredFileURL(from, operation);
    NSURL* destination = requiredFileURL(to, operation);
    NSError* error = nil;
    BOOL moved = [[NSFileManager defaultManager] moveItemAtURL:source
                                                         toURL:destination
                                                         error:&error];
    check(moved, error, operation + " " + from.path() + " to " + to.path());
  });
}

void MacFileManager::removeItem(const FileURL& item) {
  withinAutoreleasePool([&] {
    const std::string operation = "Could not remove";
    NSURL* url = requiredFileURL(item, operation);
    NSError* error = nil;
    BOOL removed = [[NSFileManager defaultManager] removeItemAtURL:url error:&error];
    check(removed, error, operation + " " + item.path());
  });
}

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

void MacFileManager::removeQuarantine(const FileURL& item) {
  const std::string& path = item.path();
  auto fail = [](const std::string& failedPath, int error) {
    throw PlatformError("Could not remove the quarantine mark of " + failedPath + ": " +
                        std::strerror(error));
  };
  char* roots[] = {const_cast<char*>(path.c_str()), nullptr};
  FTS* tree = ::fts_open(roots, FTS_PHYSICAL | FTS_NOCHDIR, nullptr);
  if (!tree) fail(path, errno);
  std::string failedPath;
  int failure = 0;
  while (failure == 0) {
    errno = 0;
    FTSENT* entry = ::fts_read(tree);
    if (!entry) {
      failure = errno;  // 0 once the whole tree was seen
      failedPath = path;
      break;
    }
    failedPath = entry->fts_path;
    switch (entry->fts_info) {
      case FTS_DNR:
      case FTS_ERR:
      case FTS_NS:
        failure = entry->fts_errno;
        break;
      case FTS_DP:  // a directory's second visit, after its contents
        break;
      default:
        // Symbolic links carry attributes of their own on macOS.
        if (::removexattr(entry->fts_path, "com.apple.quarantine", XATTR_NOFOLLOW) != 0 &&
            errno != ENOATTR && errno != ENOTSUP) {
          failure = errno;
        }
        break;
    }
  }
  ::fts_close(tree);
  if (failure != 0) fail(failedPath, failure);
}

std::vector<FileURL> MacFileManager::contentsOfDirectory(const FileURL& directory) {
  return entriesOf(directory, NSDirectoryEnumerationSkipsHiddenFiles);
}

std::vector<FileURL> MacFileManager::contentsOfDirectoryIncludingHidden(const FileURL& directory) {
  return entriesOf(directory, 0);
}

std::vector<FileURL> MacFileManager::applicationSupportDirectories() {
  return withinAutoreleasePool([&] {
    NSFileManager* files = [NSFileManager defaultManager];
    return locationsOf([files URLsForDirectory:NSApplicationSupportDirectory
                                     inDomains:NSUserDomainMask]);
  });
}

std::string MacFileManager::homeDirectory() {
  return withinAutoreleasePool([&] {
    return utf8OfString(NSHomeDirectory());
  });
}

std::optional<std::string> MacFileManager::homeDirectoryOfUser(const std::string& user) {
  return withinAutoreleasePool([&]() -> std::optional<std::string> {
    NSString* name = stringOfUTF8(user);
    if (!name) return std::nullopt;
    NSString* home = NSHomeDirectoryForUser(name);
    if (!home) return std::nullopt;
    return utf8OfString(home);
  });
}

std::string MacFileManager::currentDirectoryPath() {
  return withinAutoreleasePool([&] {
    NSString* path = [[NSFileManager defaultManager] currentDirectoryPath];
    // Relative paths resolved against a guess would name the wrong files.
    if (path.length == 0) throw PlatformError("Could not get the current directory");
    return utf8OfString(path);
  });
}

}  // namespace installer::macos
