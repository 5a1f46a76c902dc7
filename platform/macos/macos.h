#pragma once

// The macOS backend: AppKit, Foundation, CoreFoundation and the C library.
// Plain C++ here, so that code without Objective-C may name the services;
// the Objective-C side lives in the .mm files.

#include <memory>
#include <string>

#include "platform/services.h"

namespace installer::macos {

/// NSApplication and NSAlert.
class MacApplication final : public Application {
 public:
  void setAccessoryActivationPolicy() override;
  void activate() override;
  long runModal(const Alert& alert) override;
};

/// NSRunningApplication.
class MacRunningApplications final : public RunningApplications {
 public:
  std::vector<RunningApplicationHandle> runningApplications(
      const std::string& bundleIdentifier) override;
};

/// NSWorkspace; the completion runs on a queue of the system's choosing.
class MacWorkspace final : public Workspace {
 public:
  void openApplication(const FileURL& bundle, const OpenConfiguration& configuration,
                       OpenCompletion completion) override;
};

/// NSBundle.
class MacBundles final : public Bundles {
 public:
  std::optional<BundleContents> open(const FileURL& bundle) override;
  FileURL mainBundleURL() override;
  std::optional<FileURL> mainResourceURL() override;
};

/// NSFileManager; errors carry the NSError's localized description.
class MacFileManager final : public FileManager {
 public:
  void createDirectory(const FileURL& directory, bool withIntermediateDirectories,
                       std::optional<unsigned> posixPermissions) override;
  void moveItem(const FileURL& from, const FileURL& to) override;
  void removeItem(const FileURL& item) override;
  void trashItem(const FileURL& item) override;
  /// The mark is the extended attribute `com.apple.quarantine`.
  void removeQuarantine(const FileURL& item) override;
  std::vector<FileURL> contentsOfDirectory(const FileURL& directory) override;
  std::vector<FileURL> contentsOfDirectoryIncludingHidden(const FileURL& directory) override;
  std::vector<FileURL> applicationSupportDirectories() override;
  std::string homeDirectory() override;
  std::optional<std::string> homeDirectoryOfUser(const std::string& user) override;
  std::string currentDirectoryPath() override;
};

/// `fsync` of every item, then one cache flush of the drive per step: APFS's
/// `fsync` leaves the data in the drive's volatile cache.
class MacDurability final : public Durability {
 public:
  void flushTree(const FileURL& item) override;
  void flushDirectories(const std::vector<FileURL>& directories) override;
};

/// NSTask, running the system tools themselves.
class MacChildProcesses final : public ChildProcesses {
 public:
  int run(const std::string& executable, const std::vector<std::string>& arguments) override;
};

/// NSProcessInfo.
class MacProcessInfo final : public ProcessInfo {
 public:
  std::map<std::string, std::string> environment() override;
  double systemUptime() override;
  /// A user-initiated, latency-critical activity: no App Nap, no timer
  /// coalescing, no idle system sleep while it is held.
  std::unique_ptr<Activity> beginActivity(const std::string& reason) override;
};

/// The main NSRunLoop and the main dispatch queue.
class MacRunLoop final : public RunLoop {
 public:
  MacRunLoop();
  ~MacRunLoop() override;
  /// Also rethrows the first exception a dispatched block threw since the
  /// last pass: it cannot leave the block without ending the process.
  bool runOnce(double limitSeconds) override;
  void sleep(double seconds) override;
  void dispatchToMain(std::function<void()> block) override;

 private:
  struct State;
  // Shared with the queued blocks, which may outlive this object.
  std::shared_ptr<State> state_;
};

/// CFPreferences of the current user, any host.
class MacPreferences final : public Preferences {
 public:
  MacPreferences();
  ~MacPreferences() override;
  std::optional<PropertyValue> copyValue(const std::string& key,
                                         const std::string& application) override;
  /// A value that has no property-list form (text that is not UTF-8) is not
  /// stored, and the next `synchronize` of that application answers false.
  void setValue(const std::string& key, const PropertyValue& value,
                const std::string& application) override;
  bool synchronize(const std::string& application) override;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

class MacPosix final : public Posix {
 public:
  std::optional<FileStatus> lstat(const std::string& path) override;
  std::optional<std::string> realpath(const std::string& path) override;
  /// fts, physical.
  bool visitTree(const std::string& root,
                 const std::function<bool(const std::string&, const FileStatus&)>& visit) override;
  /// CommonCrypto's CC_SHA256.
  std::optional<std::string> sha256OfFile(const std::string& path) override;
  int openDirectory(const std::string& path) override;
  bool lockExclusiveNonBlocking(int descriptor) override;
  void close(int descriptor) override;
  std::uint32_t getuid() override;
  int kill(int processIdentifier, int signal) override;
  /// `renamex_np` with RENAME_SWAP.
  int exchange(const std::string& first, const std::string& second) override;
  std::string strerror(int error) override;
  void writeStandardError(const std::string& text) override;
  [[noreturn]] void exit(int status) override;
};

/// NSUUID.
class MacUUIDs final : public UUIDs {
 public:
  std::string newUUIDString() override;
};

/// NSString; text that is not UTF-8 is answered unchanged.
class MacText final : public Text {
 public:
  std::string precomposed(const std::string& text) override;
  std::string lowercased(const std::string& text) override;
};

}  // namespace installer::macos
