#include <fcntl.h>

#include "platform/posix/spawn.h"

namespace installer::posix {

// Apple's posix_spawn has no closefrom action. With POSIX_SPAWN_CLOEXEC_DEFAULT
// the child keeps only the descriptors the file actions name: those a
// redirection makes, which need nothing more, and the standard streams
// given an inherit action. An inherit action on a descriptor we do not have
// open fails the whole spawn with EBADF (an installer started with its
// standard error closed could run no tool), so only open ones get one.
int keepOnlyStandardStreams(posix_spawn_file_actions_t& actions, short& flags,
                            const std::array<bool, 3>& redirected) {
  flags |= POSIX_SPAWN_CLOEXEC_DEFAULT;
  for (int stream = 0; stream < static_cast<int>(redirected.size()); ++stream) {
    if (redirected[stream] || ::fcntl(stream, F_GETFD) == -1) continue;
    if (int error = posix_spawn_file_actions_addinherit_np(&actions, stream); error != 0) {
      return error;
    }
  }
  return 0;
}

}  // namespace installer::posix
