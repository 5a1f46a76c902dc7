#pragma once

// Starting a program of our own: posix_spawn's attributes and file actions,
// and the wait for its end.

#include <spawn.h>
#include <sys/types.h>

namespace installer::host {

/// Owns the spawn attributes and file actions for one start.
class SpawnSettings {
 public:
  SpawnSettings();
  SpawnSettings(const SpawnSettings&) = delete;
  SpawnSettings& operator=(const SpawnSettings&) = delete;
  ~SpawnSettings();

  /// The child's `target` becomes a copy of our `descriptor`.
  int redirect(int descriptor, int target);
  /// The child's `target` is /dev/null, open for reading and writing.
  int redirectToNull(int target);
  /// A program starts as from a shell: default signal handling, nothing
  /// blocked, and no descriptor of ours beyond the standard streams. Last,
  /// after any redirection.
  int prepare();

  const posix_spawnattr_t* attributes() const { return &attributes_; }
  const posix_spawn_file_actions_t* actions() const { return &actions_; }

 private:
  posix_spawnattr_t attributes_;
  posix_spawn_file_actions_t actions_;
};

/// Waits for `child` to end, through interruptions, and sets its wait
/// `status`; false with errno set when the wait fails.
bool waitForChild(pid_t child, int& status);

/// The termination status the way a shell reports it: the exit code, or
/// 128 plus the signal number.
int statusOfWait(int status);

}  // namespace installer::host
