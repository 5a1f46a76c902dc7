#include "platform/posix/spawn.h"

namespace installer::posix {

int keepOnlyStandardStreams(posix_spawn_file_actions_t& actions, short&,
                            const std::array<bool, 3>&) {
  return posix_spawn_file_actions_addclosefrom_np(&actions, 3);
}

}  // namespace installer::posix
