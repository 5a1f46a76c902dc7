#pragma once

// Starting a program of our own: posix_spawn's attributes and file actions,
// and the wait for its end.

#include <spawn.h>
#include <sys/types.h>

#include <array>
#include <string>
#include <vector>

namespace installer::posix {

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
  void noteRedirection(int target);

  posix_spawnattr_t attributes_;
  posix_spawn_file_actions_t actions_;
  /// Which standard streams a redirection gives the child.
  std::array<bool, 3> redirected_{};
};

/// Waits for `child` to end, through interruptions, and sets its wait
/// `status`; false with errno set when the wait fails.
bool waitForChild(pid_t child, int& status);

/// The termination status the way a shell reports it: the exit code, or
/// 128 plus the signal number.
int statusOfWait(int status);

/// Starts the program at `path` as a shell would, with our environment, the
/// standard streams and `arguments` after `name`, and answers `statusOfWait`
/// once it has ended. Throws PlatformError "Could not start `shown`: ..."
/// with the system's reason. Bytes pass unchanged, UTF-8 or not; an empty
/// path, or a NUL that would cut a text short, is refused.
int runToEnd(const std::string& path, const std::string& name,
             const std::vector<std::string>& arguments, const std::string& shown);

/// The step where the systems differ: `flags` (the attribute flags about to
/// be set) and `actions` so that the child keeps no descriptor of ours beyond
/// the standard streams, `redirected` marking those the actions give it.
/// 0, or the errno value.
int keepOnlyStandardStreams(posix_spawn_file_actions_t& actions, short& flags,
                            const std::array<bool, 3>& redirected);

}  // namespace installer::posix
