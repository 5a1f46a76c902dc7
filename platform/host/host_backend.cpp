#include <algorithm>
#include <cstdlib>
#include <string>

#include "platform/backend.h"
#include "platform/host/host.h"
#include "platform/host/host_session.h"

namespace installer {
namespace {

/// The base-directory variables: a relative value (or entry of a list) is
/// one to ignore, yet GIO and GTK would take it relative to the working
/// folder. Unset here, before any library reads them, every library and the
/// launched browser see them as unset; lists keep their absolute entries.
void dropRelativeFolderVariables() {
  for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME",
                           "XDG_RUNTIME_DIR"}) {
    const char* value = std::getenv(name);
    if (value && value[0] != '/') ::unsetenv(name);
  }
  for (const char* name : {"XDG_DATA_DIRS", "XDG_CONFIG_DIRS"}) {
    const char* value = std::getenv(name);
    if (!value) continue;
    std::string kept;
    const std::string list = value;
    for (std::size_t start = 0; start <= list.size();) {
      std::size_t end = std::min(list.find(':', start), list.size());
      if (end > start && list[start] == '/') {
        kept += (kept.empty() ? "" : ":") + list.substr(start, end - start);
      }
      start = end + 1;
    }
    if (kept.empty()) {
      ::unsetenv(name);
    } else if (kept != list) {
      ::setenv(name, kept.c_str(), 1);
    }
  }
}

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
  dropRelativeFolderVariables();
  static HostBackend backend;
  return servicesOf(backend);
}

}  // namespace installer
