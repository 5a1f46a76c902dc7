#include "inspect/location.h"

#include <algorithm>
#include <vector>

#include "platform/services.h"

namespace installer {

FileURL locationFromPath(const std::string& path) {
  if (path.starts_with('/')) return FileURL::fromAbsolutePath(path);
  return FileURL::fromPath(path, services().files->currentDirectoryPath());
}

FileURL canonicalPath(const FileURL& url) {
  const FileURL standardized = url.standardized();
  FileURL attempt = standardized;
  std::vector<std::string> missingNames;  // nearest to the leaf first
  Posix& posix = *services().posix;
  for (;;) {
    if (std::optional<std::string> resolved = posix.realpath(attempt.path())) {
      FileURL result = FileURL::fromAbsolutePath(*resolved);
      for (auto name = missingNames.rbegin(); name != missingNames.rend(); ++name) {
        result = result.appendingPathComponent(*name);
      }
      return result;
    }
    // Any failure (missing, unreadable, a loop of links) just moves one level up.
    FileURL shorter = attempt.deletingLastPathComponent();
    if (shorter.path() == attempt.path()) return standardized;
    missingNames.push_back(attempt.lastPathComponent());
    attempt = shorter;
  }
}

FileURL normalized(const FileURL& url) {
  return canonicalPath(url.deletingLastPathComponent())
      .appendingPathComponent(url.lastPathComponent());
}

bool isInsideAnotherBundle(const FileURL& url) {
  const std::vector<std::string> components = url.pathComponents();  // "/" first, never empty
  return std::any_of(components.begin(), components.end() - 1,
                     [](const std::string& component) { return component.ends_with(".app"); });
}

}  // namespace installer
