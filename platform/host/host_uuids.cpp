#include <uuid/uuid.h>

#include "platform/host/host.h"

namespace installer::host {

std::string HostUUIDs::newUUIDString() {
  uuid_t uuid;
  uuid_generate_random(uuid);
  char text[37];
  uuid_unparse_upper(uuid, text);
  return text;
}

}  // namespace installer::host
