#include "tests/fuzz/fuzz_platform.h"

#include <cstdlib>
#include <set>

#include "platform/host/host.h"
#include "platform/platform_error.h"

namespace installer::fuzzing {
namespace {

class RunningDock final : public RunningApplication {
 public:
  bool isTerminated() const override { return false; }
  std::optional<FileURL> bundleURL() const override {
    return FileURL::fromAbsolutePath("/System/Library/CoreServices/Dock.app");
  }
  int processIdentifier() const override { return 300; }
  bool isFinishedLaunching() const override { return true; }
  bool terminate() override { return false; }
};

/// Folders that exist; the links among them are resolved by `realpath`.
const std::set<std::string> existingFolders = {
    "/", "/Applications", "/Users", fuzzHome, fuzzHome + "/Applications",
    fuzzHome + "/Downloads", "/Users/guest", "/private", "/private/tmp", "/Volumes",
    "/Volumes/Installer"};
const std::map<std::string, std::string> linkedFolders = {{"/tmp", "/private/tmp"},
                                                          {fuzzHome + "/Apps", "/Applications"}};

}  // namespace

void FixedFiles::refuse() { throw PlatformError("the fuzz targets change no files"); }

std::optional<std::string> FixedFiles::homeDirectoryOfUser(const std::string& user) {
  if (user == "guest") return "/Users/guest";
  if (user == "fuzz") return fuzzHome;
  return std::nullopt;
}

std::optional<std::string> FixedPosix::realpath(const std::string& path) {
  // Callers hand over standardized absolute paths: a link can only be the
  // whole path or a prefix of it.
  for (const auto& [link, target] : linkedFolders) {
    if (path == link) return target;
    if (path.starts_with(link + "/")) {
      std::string resolved = target + path.substr(link.size());
      return existingFolders.contains(resolved) ? std::optional(resolved) : std::nullopt;
    }
  }
  return existingFolders.contains(path) ? std::optional(path) : std::nullopt;
}

int FixedPosix::kill(int processIdentifier, int signal) {
  signalsSent_.emplace_back(processIdentifier, signal);
  return 0;
}

void FixedPosix::exit(int) { std::abort(); }

FileURL FixedBundles::mainBundleURL() {
  return FileURL::fromAbsolutePath("/Volumes/Installer/QuorvaneInstaller.app");
}

std::optional<FileURL> FixedBundles::mainResourceURL() {
  return mainBundleURL().appendingPathComponent("Contents/Resources");
}

std::optional<PropertyValue> MemoryPreferences::copyValue(const std::string& key,
                                                          const std::string& application) {
  auto domain = values_.find(application);
  if (domain == values_.end()) return std::nullopt;
  auto value = domain->second.find(key);
  if (value == domain->second.end()) return std::nullopt;
  return value->second;
}

void MemoryPreferences::setValue(const std::string& key, const PropertyValue& value,
                                 const std::string& application) {
  values_[application][key] = value;
}

std::vector<RunningApplicationHandle> OneDock::runningApplications(
    const std::string& bundleIdentifier) {
  if (bundleIdentifier != "com.apple.dock") return {};
  return {std::make_shared<RunningDock>()};
}

FixedServices& installFixedServices() {
  static FixedServices fixed;
  static host::HostText text;
  static const bool installed = [] {
    Services services;
    services.files = &fixed.files;
    services.posix = &fixed.posix;
    services.bundles = &fixed.bundles;
    services.preferences = &fixed.preferences;
    services.runningApplications = &fixed.runningApplications;
    services.text = &text;
    installServices(services);
    return true;
  }();
  (void)installed;
  return fixed;
}

}  // namespace installer::fuzzing
