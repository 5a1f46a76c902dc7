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
  Services services;
  services.application = &backend.application;
  services.runningApplications = &backend.runningApplications;
  services.workspace = &backend.workspace;
  services.bundles = &backend.bundles;
  services.files = &backend.files;
  services.durability = &backend.durability;
  services.childProcesses = &backend.childProcesses;
  services.processInfo = &backend.processInfo;
  services.runLoop = &backend.runLoop;
  services.preferences = &backend.preferences;
  services.posix = &backend.posix;
  services.uuids = &backend.uuids;
  services.text = &backend.text;
  return services;
}

}  // namespace installer
