#include "platform/host/host_spawn.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>

#include <cerrno>

namespace installer::host {

SpawnSettings::SpawnSettings() {
  posix_spawnattr_init(&attributes_);
  posix_spawn_file_actions_init(&actions_);
}

SpawnSettings::~SpawnSettings() {
  posix_spawn_file_actions_destroy(&actions_);
  posix_spawnattr_destroy(&attributes_);
}

int SpawnSettings::redirect(int descriptor, int target) {
  return posix_spawn_file_actions_adddup2(&actions_, descriptor, target);
}

int SpawnSettings::redirectToNull(int target) {
  return posix_spawn_file_actions_addopen(&actions_, target, "/dev/null", O_RDWR, 0);
}

int SpawnSettings::prepare() {
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

}  // namespace installer::host
