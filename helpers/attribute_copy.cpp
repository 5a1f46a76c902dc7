#include "helpers/attribute_copy.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "helpers/system_failure.h"

namespace helpers {

bool copyOwnership(const struct stat& source, const NewEntry& entry) {
  int result = entry.fd >= 0
                   ? ::fchown(entry.fd, source.st_uid, source.st_gid)
                   : ::fchownat(entry.directoryFd, entry.name, source.st_uid, source.st_gid, AT_SYMLINK_NOFOLLOW);
  if (result == 0) return true;
  if (errno == EPERM) return false;
  throwSystemFailure("chown", entry.path, errno);
}

void copyMode(const struct stat& source, bool ownershipKept, const NewEntry& entry) {
  if (S_ISLNK(source.st_mode)) return;
  mode_t mode = source.st_mode & 07777;
  if (!ownershipKept) mode &= ~static_cast<mode_t>(S_ISUID | S_ISGID);
  int result = entry.fd >= 0 ? ::fchmod(entry.fd, mode) : ::fchmodat(entry.directoryFd, entry.name, mode, 0);
  if (result != 0) throwSystemFailure("chmod", entry.path, errno);
}

void copyTimes(const struct stat& source, const NewEntry& entry) {
  const struct timespec times[2] = {source.st_atim, source.st_mtim};
  int result = entry.fd >= 0 ? ::futimens(entry.fd, times)
                             : ::utimensat(entry.directoryFd, entry.name, times, AT_SYMLINK_NOFOLLOW);
  if (result != 0) throwSystemFailure("utimensat", entry.path, errno);
}

}  // namespace helpers
