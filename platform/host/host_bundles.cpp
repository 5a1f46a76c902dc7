#include <unistd.h>

#include <string>
#include <vector>

#include "platform/host/host.h"

namespace installer {
namespace {

bool endsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

/// The path of the running executable, or nothing when /proc cannot say.
std::optional<std::string> executablePath() {
  std::vector<char> buffer(4096);
  for (;;) {
    ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return std::nullopt;
    if (static_cast<std::size_t>(length) < buffer.size()) {
      return std::string(buffer.data(), static_cast<std::size_t>(length));
    }
    buffer.resize(buffer.size() * 2);
  }
}

/// `B` when the executable lies at `B/Contents/MacOS/NAME` and `B` ends in ".app".
std::optional<FileURL> enclosingBundle(const FileURL& executable) {
  FileURL macOS = executable.deletingLastPathComponent();
  FileURL contents = macOS.deletingLastPathComponent();
  FileURL bundle = contents.deletingLastPathComponent();
  if (macOS.lastPathComponent() != "MacOS" || contents.lastPathComponent() != "Contents" ||
      !endsWith(bundle.lastPathComponent(), ".app") || bundle.path() == "/") {
    return std::nullopt;
  }
  return bundle;
}

std::optional<FileURL> executableURL() {
  std::optional<std::string> path = executablePath();
  if (!path || path->empty() || path->front() != '/') return std::nullopt;
  return FileURL::fromAbsolutePath(*path);
}

}  // namespace

std::optional<BundleContents> SystemBundles::open(const FileURL& bundle) {
  if (!posix::isDirectory(bundle.path())) return std::nullopt;
  PropertyDictionary entries;
  if (std::optional<PropertyDictionary> info = host::readBundleInfo(bundle.path())) {
    entries = std::move(*info);
  }
  return bundleContentsOf(bundle, std::move(entries));
}

FileURL SystemBundles::mainBundleURL() {
  std::optional<FileURL> executable = executableURL();
  if (!executable) return FileURL();
  return enclosingBundle(*executable).value_or(executable->deletingLastPathComponent());
}

std::optional<FileURL> SystemBundles::mainResourceURL() {
  std::optional<FileURL> executable = executableURL();
  if (!executable) return std::nullopt;
  std::optional<FileURL> bundle = enclosingBundle(*executable);
  if (!bundle) return std::nullopt;
  return bundle->appendingPathComponent("Contents/Resources");
}

}  // namespace installer
