#include <uuid/uuid.h>

#include "platform/posix/posix_system.h"

namespace installer::posix {

std::string PosixUUIDs::newUUIDString() {
  uuid_t uuid;
  uuid_generate_random(uuid);
  char text[37];
  uuid_unparse_upper(uuid, text);
  return text;
}

}  // namespace installer::posix
