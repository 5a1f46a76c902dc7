#include "platform/backend.h"
#include "platform/macos/macos.h"

namespace installer {
namespace {

/// Every service of the macOS backend.
struct MacBackend {
  macos::MacApplication application;
  macos::MacRunningApplications runningApplications;
  macos::MacWorkspace workspace;
  macos::MacBundles bundles;
  macos::MacFileManager files;
  macos::MacDurability durability;
  macos::MacChildProcesses childProcesses;
  macos::MacProcessInfo processInfo;
  macos::MacRunLoop runLoop;
  macos::MacPreferences preferences;
  macos::MacPosix posix;
  macos::MacUUIDs uuids;
  macos::MacText text;
};

}  // namespace

Services backendServices() {
  // Never destroyed: a workspace completion may still arrive on another
  // thread while `exit` runs the destructors of static objects.
  static MacBackend& backend = *new MacBackend;
  return servicesOf(backend);
}

}  // namespace installer
