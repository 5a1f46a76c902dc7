#include "platform/backend.h"
#include "platform/host/host.h"
#include "platform/host/host_session.h"

namespace installer {
namespace {

/// Every service of the Linux backend, alive until the process ends.
struct HostBackend {
  host::HostRunLoop runLoop;
  host::HostApplication application{runLoop};
  host::HostRunningApplications runningApplications;
  host::HostWorkspace workspace{runLoop};
  host::HostBundles bundles;
  host::HostFileManager files;
  host::HostDurability durability;
  host::HostChildProcesses childProcesses{
      host::HostBundles().mainBundleURL().appendingPathComponent("Contents/Helpers").path()};
  host::HostProcessInfo processInfo;
  host::HostPreferences preferences;
  host::HostPosix posix;
  host::HostUUIDs uuids;
  host::HostText text;
};

}  // namespace

Services backendServices() {
  static HostBackend backend;
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
