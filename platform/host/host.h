#pragma once

// The Linux backend. Each class keeps the contract of its interface as the
// host platform document describes it; tests construct the ones they need.

#include <memory>
#include <string>

#include "platform/posix/posix_file_manager.h"
#include "platform/posix/posix_system.h"
#include "platform/services.h"
#include "platform/system_services.h"

namespace installer::host {

/// Info.plist through libplist; the main bundle from /proc/self/exe.
using HostBundles = SystemBundles;

/// GIO's Trash and the XDG folders; the volume is what `statvfs` says. The
/// quarantine mark is the extended attribute `user.com.apple.quarantine`.
using HostFileManager = SystemFileManager;

/// The POSIX calls, the flushes and the UUIDs are the shared layer's.
using HostPosix = posix::PosixSystem;
using HostDurability = posix::PosixDurability;
using HostUUIDs = posix::PosixUUIDs;

/// Runs the helper of the same name from `helpersDirectory` in place of the
/// macOS system tools; every other path runs as given.
class HostChildProcesses final : public ChildProcesses {
 public:
  explicit HostChildProcesses(std::string helpersDirectory);
  int run(const std::string& executable, const std::vector<std::string>& arguments) override;

 private:
  std::string helpersDirectory_;
};

/// The monotonic clock for the uptime; an activity that holds nothing.
using HostProcessInfo = SystemProcessInfo;

/// One property-list file per application under the user's config folder.
using HostPreferences = SystemPreferences;

/// ICU.
using HostText = SystemText;

/// Property lists (XML or binary) through libplist; `binary`, when given,
/// learns the format read.
std::optional<PropertyValue> readPropertyList(const std::string& path, bool* binary = nullptr);
/// The same from the bytes of a file already read.
std::optional<PropertyValue> propertyListOfBytes(const std::string& contents,
                                                 bool* binary = nullptr);
/// Writes a property list, binary or XML, atomically (temporary file, then
/// rename). An XML list is not written, and false answered, when a text in
/// it has no faithful XML form.
bool writePropertyList(const std::string& path, const PropertyValue& value, bool binary = false);

/// The property list in the open file `file` when it is a regular file of
/// the user of at most `limit` bytes; nothing otherwise.
std::optional<PropertyValue> readUserPropertyList(int file, std::size_t limit,
                                                  bool* binary = nullptr);

/// The Info dictionary of the bundle at `bundle`: Contents/Info.plist opened
/// beneath the bundle folder without following any link, a regular file of
/// at most 1 MiB. Nothing otherwise.
std::optional<PropertyDictionary> readBundleInfo(const std::string& bundle);

}  // namespace installer::host
