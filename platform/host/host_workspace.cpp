#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <map>
#include <string_view>
#include <thread>

#include "platform/host/host.h"
#include "platform/host/host_desktop_entries.h"
#include "platform/host/host_main_queue.h"
#include "platform/host/host_process_handle.h"
#include "platform/host/host_session.h"
#include "platform/platform_error.h"

namespace installer::host {
namespace {

/// Whether the installer passes its variable `name` on to the applications it opens.
bool isSessionVariable(std::string_view name) {
  static constexpr std::array<std::string_view, 11> names = {
      "HOME", "USER", "LOGNAME", "SHELL", "PATH", "LANG", "TZ", "DISPLAY", "WAYLAND_DISPLAY",
      "XAUTHORITY", "DBUS_SESSION_BUS_ADDRESS"};
  for (std::string_view allowed : names) {
    if (name == allowed) return true;
  }
  return name.starts_with("LC_") || name.starts_with("XDG_");
}

/// An empty text, or the reason `variables` cannot be put in an environment.
std::string invalidVariable(const std::map<std::string, std::string>& variables) {
  for (const auto& [name, value] : variables) {
    if (name.empty() || name.find_first_of(std::string_view("=\0", 2)) != std::string::npos)
      return "invalid environment variable name \"" + name + "\"";
    if (value.find('\0') != std::string::npos)
      return "environment variable " + name + " holds a NUL character";
  }
  return {};
}

/// "NAME=value" entries: the installer's session variables, then `added`, which win.
std::vector<std::string> launchEnvironment(
    const std::optional<std::map<std::string, std::string>>& added) {
  std::map<std::string, std::string> variables = posix::environmentVariables();
  std::erase_if(variables, [](const auto& variable) { return !isSessionVariable(variable.first); });
  if (added) {
    for (const auto& [name, value] : *added) variables[name] = value;
  }
  std::vector<std::string> entries;
  for (const auto& [name, value] : variables) entries.push_back(name + "=" + value);
  return entries;
}

/// The bundle's main executable from its Info.plist; throws PlatformError.
std::string executableOf(const std::string& bundle) {
  std::optional<PropertyDictionary> info = readBundleInfo(bundle);
  if (!info) {
    throw PlatformError("open application " + bundle + ": cannot read " + bundle +
                        "/Contents/Info.plist");
  }
  const PropertyValue* name = findProperty(*info, "CFBundleExecutable");
  if (!name || !name->string() || !isSingleName(*name->string()))
    throw PlatformError("open application " + bundle + ": Info.plist names no executable");
  return bundle + "/Contents/MacOS/" + *name->string();
}

/// Owns the spawn attributes and file actions for one launch.
class SpawnSetup {
 public:
  SpawnSetup() {
    posix_spawnattr_init(&attributes_);
    posix_spawn_file_actions_init(&actions_);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions_);
    posix_spawnattr_destroy(&attributes_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  /// 0 or the error number of the first step that failed.
  int prepare() {
    // A new session outlives the installer's terminal; signals start at their
    // defaults and unblocked, so that SIGTERM reaches the application
    // whatever the launching thread had blocked or ignored.
    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    int error = posix_spawnattr_setflags(
        &attributes_, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    if (!error) error = posix_spawnattr_setsigmask(&attributes_, &none);
    if (!error) error = posix_spawnattr_setsigdefault(&attributes_, &all);
    for (int stream = 0; stream <= 2 && !error; ++stream) {
      error = posix_spawn_file_actions_addopen(&actions_, stream, "/dev/null",
                                               stream == 0 ? O_RDONLY : O_WRONLY, 0);
    }
    // Launch Services starts applications in the root folder: the installer's
    // working directory may be on a volume that must be able to go away.
    if (!error) error = posix_spawn_file_actions_addchdir_np(&actions_, "/");
    if (!error) error = posix_spawn_file_actions_addclosefrom_np(&actions_, 3);
    return error;
  }

  /// 0 and the child's pid, or the error number.
  int spawn(const std::string& executable, const std::vector<std::string>& environment,
            pid_t& child) {
    std::vector<char*> argv = {const_cast<char*>(executable.c_str()), nullptr};
    std::vector<char*> envp;
    for (const std::string& entry : environment) envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    return posix_spawn(&child, executable.c_str(), &actions_, &attributes_, argv.data(),
                       envp.data());
  }

 private:
  posix_spawnattr_t attributes_;
  posix_spawn_file_actions_t actions_;
};

/// Starts the bundle's executable: the child's pid; throws PlatformError.
pid_t startApplication(const std::string& bundle, const std::vector<std::string>& environment,
                       const std::string& invalidConfiguration) {
  if (!invalidConfiguration.empty())
    throw PlatformError("open application " + bundle + ": " + invalidConfiguration);
  std::string executable = executableOf(bundle);
  SpawnSetup setup;
  pid_t child = -1;
  int error = setup.prepare();
  if (!error) error = setup.spawn(executable, environment, child);
  if (error) throw PlatformError("open application " + executable + ": " + std::strerror(error));
  return child;
}

void reap(pid_t child) {
  while (waitpid(child, nullptr, 0) == -1 && errno == EINTR) {
  }
}

/// Registers the bundle with the desktop, as Launch Services registers what
/// it launches; a courtesy that never keeps the application from starting.
void registerWithDesktop(const std::string& bundle, const std::string& entriesFolder) {
  if (entriesFolder.empty()) return;
  try {
    registerDesktopEntry(entriesFolder, registeredBundlePath(bundle));
  } catch (const std::exception&) {
  }
}

/// The launch thread: registers and starts the application, reports, then
/// waits so the exited child never lingers as a zombie.
void launch(std::string bundle, std::vector<std::string> environment,
            const std::string& invalidConfiguration, const std::string& entriesFolder,
            const OpenCompletion& completion, const std::shared_ptr<MainQueue>& queue) {
  pid_t child = -1;
  RunningApplicationHandle handle;
  std::exception_ptr error;
  try {
    if (invalidConfiguration.empty()) registerWithDesktop(bundle, entriesFolder);
    child = startApplication(bundle, environment, invalidConfiguration);
    // Not reaped before the wait below, so the pid cannot be reused yet and
    // the start time read is the child's.
    std::optional<ProcessStat> stat = readProcessStat(child);
    handle = std::make_shared<HostProcessHandle>(child, stat ? stat->startTime : 0, bundle);
  } catch (...) {
    error = std::current_exception();
  }
  try {
    completion(std::move(handle), error);
  } catch (...) {
    // Nobody is left to hear of it on this thread; the operation still ends.
  }
  queue->endPendingOperation();
  if (child > 0) reap(child);
}

}  // namespace

HostWorkspace::HostWorkspace(HostRunLoop& runLoop) : runLoop_(runLoop) {}

void HostWorkspace::openApplication(const FileURL& bundle, const OpenConfiguration& configuration,
                                    OpenCompletion completion) {
  // Shared so that a launch thread still finishing its operation never
  // outlives the queue it reports to.
  std::shared_ptr<MainQueue> queue = runLoop_.state();
  queue->beginPendingOperation();
  try {
    std::string invalid =
        configuration.environment ? invalidVariable(*configuration.environment) : std::string();
    // The environment is read here, on the caller's thread, where it is not
    // changed under us.
    std::string entriesFolder;
    try {
      entriesFolder = desktopEntriesFolder();
    } catch (const PlatformError&) {
      // No home to register in: the application still starts.
    }
    std::thread(launch, bundle.path(), launchEnvironment(configuration.environment),
                std::move(invalid), std::move(entriesFolder), completion, queue)
        .detach();
  } catch (const std::exception& failure) {
    // No thread runs the launch: the completion hears of the failure here.
    try {
      completion(nullptr, std::make_exception_ptr(PlatformError(
                              "open application " + bundle.path() + ": " + failure.what())));
    } catch (...) {
    }
    queue->endPendingOperation();
  }
}

bool HostWorkspace::isRegistered(const FileURL& bundle, const std::string&) {
  // The registration tool writes entries for bundles of any identifier; the
  // entry of a path is that path's registration.
  try {
    return holdsDesktopEntry(desktopEntriesFolder(), registeredBundlePath(bundle.path()));
  } catch (const PlatformError&) {
    return false;
  }
}

}  // namespace installer::host
