#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <array>
#include <cerrno>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/host/host.h"
#include "platform/platform_error.h"

extern char** environ;

namespace installer::host {
namespace {

// The macOS tools the installer runs, and the helper standing in for each.
constexpr std::array<std::pair<std::string_view, std::string_view>, 3> helperOfTool = {{
    {"/bin/cp", "cp"},
    {"/usr/bin/codesign", "codesign"},
    {"/System/Library/Frameworks/CoreServices.framework/Frameworks/LaunchServices.framework/"
     "Support/lsregister",
     "lsregister"},
}};

/// Owns the spawn attributes and file actions for one start.
class SpawnSettings {
 public:
  SpawnSettings() {
    posix_spawnattr_init(&attributes_);
    posix_spawn_file_actions_init(&actions_);
  }
  SpawnSettings(const SpawnSettings&) = delete;
  SpawnSettings& operator=(const SpawnSettings&) = delete;
  ~SpawnSettings() {
    posix_spawn_file_actions_destroy(&actions_);
    posix_spawnattr_destroy(&attributes_);
  }

  /// A tool starts as from a shell: default signal handling, nothing blocked,
  /// and no descriptor of ours beyond the standard streams.
  int prepare() {
    sigset_t all;
    sigset_t none;
    sigfillset(&all);
    sigemptyset(&none);
    int error = posix_spawnattr_setsigdefault(&attributes_, &all);
    if (error == 0) error = posix_spawnattr_setsigmask(&attributes_, &none);
    if (error == 0) {
      error = posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    }
    if (error == 0) error = posix_spawn_file_actions_addclosefrom_np(&actions_, 3);
    return error;
  }

  const posix_spawnattr_t* attributes() const { return &attributes_; }
  const posix_spawn_file_actions_t* actions() const { return &actions_; }

 private:
  posix_spawnattr_t attributes_;
  posix_spawn_file_actions_t actions_;
};

/// The termination status the way a shell reports it: the exit code, or
/// 128 plus the signal number.
int statusOfWait(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return 128;
}

}  // namespace

HostChildProcesses::HostChildProcesses(std::string helpersDirectory)
    : helpersDirectory_(std::move(helpersDirectory)) {}

int HostChildProcesses::run(const std::string& executable,
                            const std::vector<std::string>& arguments) {
  std::string program = executable;
  for (const auto& [tool, helper] : helperOfTool) {
    if (executable == tool) program = helpersDirectory_ + "/" + std::string(helper);
  }
  const std::string tool =
      program == executable ? executable : executable + " (" + program + ")";

  std::vector<char*> argv;
  argv.reserve(arguments.size() + 2);
  argv.push_back(const_cast<char*>(executable.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  SpawnSettings settings;
  int error = settings.prepare();
  pid_t child = -1;
  if (error == 0) {
    error = ::posix_spawn(&child, program.c_str(), settings.actions(), settings.attributes(),
                          argv.data(), environ);
  }
  if (error != 0) throw PlatformError("Could not start " + tool + ": " + systemErrorText(error));

  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) {
      throw PlatformError("Could not wait for " + tool + ": " + systemErrorText(errno));
    }
  }
  return statusOfWait(status);
}

}  // namespace installer::host
