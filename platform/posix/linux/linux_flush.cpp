#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "helpers/unique_fd.h"
#include "platform/posix/posix_system.h"
#include "platform/posix/system_calls.h"

namespace installer::posix {

// Linux's fsync already empties the drive's cache.
int flushDriveCache(int) { return 0; }

// One syncfs instead of an fsync per file: on ext4 each fsync is a journal
// commit of its own, so a bundle of thousands of files waited for thousands
// of them. The copy helper starts each file's write-back as it goes, so
// little is left to write by now. A descriptor opened after the copy still
// reports write-back errors of the copy, as long as nobody has seen them.
void flushTreeToDisk(const std::string& path) {
  helpers::UniqueFd item(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!item || ::syncfs(item.get()) != 0) fail("Could not flush " + path, errno);
}

}  // namespace installer::posix
