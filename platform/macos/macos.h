#pragma once

// The macOS backend: AppKit, Foundation, CoreFoundation, Security and
// Launch Services; the POSIX calls are the shared layer's. Plain C++ here, so that code without
// Objective-C may name the services; the Objective-C side lives in the .mm files.

#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "platform/posix/posix_file_manager.h"
#include "platform/posix/posix_system.h"
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
  /// Among the applications the workspace lists for the identifier.
  bool isRegistered(const FileURL& bundle, const std::string& bundleIdentifier) override;
};

/// NSBundle.
class MacBundles final : public Bundles {
 public:
  std::optional<BundleContents> open(const FileURL& bundle) override;
  FileURL mainBundleURL() override;
  std::optional<FileURL> mainResourceURL() override;
};

/// The POSIX tasks of the shared layer; NSFileManager for the Trash and the
/// user's folders. The quarantine mark is the extended attribute
/// `com.apple.quarantine`.
class MacFileManager final : public posix::PosixFileManager {
 public:
  /// The error carries the NSError's localized description.
  void trashItem(const FileURL& item) override;
  std::vector<FileURL> applicationSupportDirectories() override;
  std::string homeDirectory() override;
  /// `statvfs`, and what the volume's resource values say.
  std::optional<VolumeStatus> volumeOf(const FileURL& item) override;
};

/// The POSIX calls, the flushes and the UUIDs are the shared layer's: `fsync`
/// of every item, then the drive's cache flush that APFS's `fsync` leaves
/// undone.
using MacPosix = posix::PosixSystem;
using MacDurability = posix::PosixDurability;
using MacUUIDs = posix::PosixUUIDs;

/// The system tools themselves, by posix_spawn.
using MacChildProcesses = posix::PosixChildProcesses;

/// NSProcessInfo; the environment is `environ`'s.
class MacProcessInfo final : public ProcessInfo {
 public:
  std::map<std::string, std::string> environment() override;
  double systemUptime() override;
  /// A user-initiated activity: no App Nap while it is held; the Mac may
  /// still sleep when idle.
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
  std::optional<PropertyValue> copyValue(const std::string& key,
                                         const std::string& application) override;
  /// A value that has no property-list form (text that is not UTF-8) is not
  /// stored, and the next `synchronize` of that application answers false.
  void setValue(const std::string& key, const PropertyValue& value,
                const std::string& application) override;
  bool synchronize(const std::string& application) override;

 private:
  std::mutex mutex_;
  /// Applications with a change that could not be stored since their last
  /// synchronization: reporting success for them would lose it silently.
  std::set<std::string> refusedChanges_;
};

/// NSString; text that is not UTF-8 is answered unchanged.
class MacText final : public Text {
 public:
  std::string precomposed(const std::string& text) override;
  std::string lowercased(const std::string& text) override;
};

}  // namespace installer::macos
