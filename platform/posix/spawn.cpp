#include "platform/posix/spawn.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>

#include <cerrno>

#include "platform/platform_error.h"
#include "platform/posix/posix_system.h"

extern char** environ;

namespace installer::posix {

SpawnSettings::SpawnSettings() {
  posix_spawnattr_init(&attributes_);
  posix_spawn_file_actions_init(&actions_);
}

SpawnSettings::~SpawnSettings() {
  posix_spawn_file_actions_destroy(&actions_);
  posix_spawnattr_destroy(&attributes_);
}

void SpawnSettings::noteRedirection(int target) {
  if (target >= 0 && target < static_cast<int>(redirected_.size())) redirected_[target] = true;
}

int SpawnSettings::redirect(int descriptor, int target) {
  noteRedirection(target);
  return posix_spawn_file_actions_adddup2(&actions_, descriptor, target);
}

int SpawnSettings::redirectToNull(int target) {
  noteRedirection(target);
  return posix_spawn_file_actions_addopen(&actions_, target, "/dev/null", O_RDWR, 0);
}

int SpawnSettings::prepare() {
  sigset_t all;
  sigset_t none;
  sigfillset(&all);
  sigemptyset(&none);
  short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
  int error = posix_spawnattr_setsigdefault(&attributes_, &all);
  if (error == 0) error = posix_spawnattr_setsigmask(&attributes_, &none);
  if (error == 0) error = keepOnlyStandardStreams(actions_, flags, redirected_);
  if (error == 0) error = posix_spawnattr_setflags(&attributes_, flags);
  return error;
}

bool waitForChild(pid_t child, int& status) {
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

int statusOfWait(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return 128;
}

int runToEnd(const std::string& path, const std::string& name,
             const std::vector<std::string>& arguments, const std::string& shown) {
  if (path.empty()) throw PlatformError("Could not start a program: the path is empty");
  const std::string failure = "Could not start " + shown + ": ";
  // A text cut short on its way would make the tool act on something else.
  auto holdsNul = [](const std::string& text) { return text.find('\0') != std::string::npos; };
  if (holdsNul(path) || holdsNul(name)) throw PlatformError(failure + "the path holds a NUL");
  std::vector<char*> argv;
  argv.reserve(arguments.size() + 2);
  argv.push_back(const_cast<char*>(name.c_str()));
  for (const std::string& argument : arguments) {
    if (holdsNul(argument)) throw PlatformError(failure + "an argument holds a NUL");
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);

  SpawnSettings settings;
  int error = settings.prepare();
  pid_t child = -1;
  if (error == 0) {
    error = ::posix_spawn(&child, path.c_str(), settings.actions(), settings.attributes(),
                          argv.data(), environ);
  }
  if (error != 0) throw PlatformError(failure + errorText(error));

  int status = 0;
  if (!waitForChild(child, status)) {
    throw PlatformError("Could not wait for " + shown + ": " + errorText(errno));
  }
  return statusOfWait(status);
}

int PosixChildProcesses::run(const std::string& executable,
                             const std::vector<std::string>& arguments) {
  return runToEnd(executable, executable, arguments, executable);
}

}  // namespace installer::posix
