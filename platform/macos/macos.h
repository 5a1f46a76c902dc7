#pragma once

// The macOS backend: AppKit, Foundation, CoreFoundation, Security and
// Launch Services; the POSIX calls are the shared layer's. Plain C++ here, so that code without
// Objective-C may name the services; the Objective-C side lives in the .mm files.

#include <memory>
#include <string>

#include "platform/posix/posix_file_manager.h"
#include "platform/posix/posix_system.h"
#include "platform/services.h"
#include "platform/system_services.h"

namespace installer::macos {

/// NSApplication and NSAlert.
class MacApplication final : public Application {
 public:
  void setAccessoryActivationPolicy() override;
  void activate() override;
  long runModal(const Alert& alert) override;
};

/// NSRunningApplication.
using MacRunningApplications = SystemRunningApplications;

/// NSWorkspace; the completion runs on a queue of the system's choosing.
class MacWorkspace final : public Workspace {
 public:
  void openApplication(const FileURL& bundle, const OpenConfiguration& configuration,
                       OpenCompletion completion) override;
  /// Among the applications the workspace lists for the identifier.
  bool isRegistered(const FileURL& bundle, const std::string& bundleIdentifier) override;
};

/// The Info dictionary read beneath the bundle; NSBundle for the main bundle.
using MacBundles = SystemBundles;

/// NSFileManager for the Trash (an error carries the NSError's localized
/// description) and the user's folders; the volume's resource values beside
/// `statvfs`. The quarantine mark is the extended attribute
/// `com.apple.quarantine`.
using MacFileManager = SystemFileManager;

/// The POSIX calls, the flushes and the UUIDs are the shared layer's: `fsync`
/// of every item, then the drive's cache flush that APFS's `fsync` leaves
/// undone.
using MacPosix = posix::PosixSystem;
using MacDurability = posix::PosixDurability;
using MacUUIDs = posix::PosixUUIDs;

/// The system tools themselves, by posix_spawn.
using MacChildProcesses = posix::PosixChildProcesses;

/// NSProcessInfo. An activity is user-initiated: no App Nap while it is
/// held; the Mac may still sleep when idle.
using MacProcessInfo = SystemProcessInfo;

/// The main NSRunLoop and the main dispatch queue. A pass also rethrows the
/// first exception a dispatched block threw since the last one: it cannot
/// leave the block without ending the process.
using MacRunLoop = SystemRunLoop;

/// CFPreferences of the current user, any host. A value that has no
/// property-list form (text that is not UTF-8) is not stored.
using MacPreferences = SystemPreferences;

/// NSString; text that is not UTF-8 is answered unchanged.
using MacText = SystemText;

}  // namespace installer::macos
