#pragma once

// The services a fuzz target runs the logic against: fixed, in-memory and
// deterministic, so that one input always takes the same path and nothing
// outside the process is touched. Text is the host's own (ICU), since how
// names compose is part of what is fuzzed.

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/services.h"

namespace installer::fuzzing {

/// The home folder of the user the fuzz targets run as.
inline const std::string fuzzHome = "/Users/fuzz";

/// A user folder layout: a fixed home and working folder, one other known
/// user; every operation that would change the file system fails.
class FixedFiles final : public FileManager {
 public:
  void createDirectory(const FileURL&, bool, std::optional<unsigned>) override { refuse(); }
  void moveItem(const FileURL&, const FileURL&) override { refuse(); }
  void removeItem(const FileURL&) override { refuse(); }
  void trashItem(const FileURL&) override { refuse(); }
  void removeQuarantine(const FileURL&) override { refuse(); }
  std::vector<FileURL> contentsOfDirectory(const FileURL&) override { refuse(); }
  std::vector<FileURL> contentsOfDirectoryIncludingHidden(const FileURL&) override { refuse(); }
  std::vector<FileURL> applicationSupportDirectories() override { refuse(); }
  std::string homeDirectory() override { return fuzzHome; }
  std::optional<std::string> homeDirectoryOfUser(const std::string& user) override;
  std::optional<VolumeStatus> volumeOf(const FileURL&) override { return std::nullopt; }
  std::string currentDirectoryPath() override { return fuzzHome + "/Downloads"; }

 private:
  [[noreturn]] static void refuse();
};

/// `realpath` over a small fixed tree with one linked folder ("/tmp" is
/// "/private/tmp", as on the platform); signals are recorded, not sent.
class FixedPosix final : public Posix {
 public:
  std::optional<FileStatus> lstat(const std::string&) override { return std::nullopt; }
  std::optional<std::string> realpath(const std::string& path) override;
  bool visitTree(const std::string&,
                 const std::function<bool(const std::string&, const FileStatus&)>&) override {
    return false;
  }
  std::optional<std::string> sha256OfFile(const std::string&) override { return std::nullopt; }
  int openDirectory(const std::string&) override { return -1; }
  int openDirectoryAt(int, const std::string&) override { return -1; }
  std::optional<FileStatus> fstat(int) override { return std::nullopt; }
  std::optional<FileStatus> lstatAt(int, const std::string&) override { return std::nullopt; }
  int makeDirectoryAt(int, const std::string&, std::uint32_t) override { return 1; }
  int exchangeAt(int, const std::string&, int, const std::string&) override { return 1; }
  int moveAt(int, const std::string&, int, const std::string&) override { return 1; }
  int removeTreeAt(int, const std::string&, const FileStatus&) override { return 1; }
  bool lockExclusiveNonBlocking(int) override { return false; }
  void close(int) override {}
  std::uint32_t getuid() override { return 501; }
  int kill(int processIdentifier, int signal) override;
  int exchange(const std::string&, const std::string&) override { return 1; }
  int symbolicLink(const std::string&, const std::string&) override { return 1; }
  std::string strerror(int error) override { return "error " + std::to_string(error); }
  void writeStandardError(const std::string&) override {}
  [[noreturn]] void exit(int) override;

  std::vector<std::pair<int, int>> signalsSent_;
};

/// The installer's own bundle on a mounted volume.
class FixedBundles final : public Bundles {
 public:
  std::optional<BundleContents> open(const FileURL&) override { return std::nullopt; }
  FileURL mainBundleURL() override;
  std::optional<FileURL> mainResourceURL() override;
};

/// Preferences in memory, by application and key.
class MemoryPreferences final : public Preferences {
 public:
  std::optional<PropertyValue> copyValue(const std::string& key,
                                         const std::string& application) override;
  void setValue(const std::string& key, const PropertyValue& value,
                const std::string& application) override;
  bool synchronize(const std::string&) override { return true; }

  std::map<std::string, std::map<std::string, PropertyValue>> values_;
};

/// One running Dock, and no other application.
class OneDock final : public RunningApplications {
 public:
  std::vector<RunningApplicationHandle> runningApplications(
      const std::string& bundleIdentifier) override;
};

/// The process-wide fixed services, installed on first use.
struct FixedServices {
  FixedFiles files;
  FixedPosix posix;
  FixedBundles bundles;
  MemoryPreferences preferences;
  OneDock runningApplications;
};
FixedServices& installFixedServices();

/// The input as text, embedded NULs kept.
inline std::string textOf(const std::uint8_t* data, std::size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

}  // namespace installer::fuzzing
