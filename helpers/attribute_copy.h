#pragma once

#include <sys/stat.h>

#include <string>

namespace helpers {

/// A newly created entry that receives the source's attributes: through its
/// descriptor, or (fd < 0) by `name` in `directoryFd` without following it.
struct NewEntry {
  int fd = -1;
  int directoryFd = -1;
  const char* name = nullptr;
  const std::string& path;
};

/// Gives `entry` the owner and group of `source` where permitted. Answers
/// false when not permitted; throws SystemFailure on any other failure.
bool copyOwnership(const struct stat& source, const NewEntry& entry);

/// Gives `entry` the mode bits of `source`, less set-user-ID and set-group-ID
/// when the ownership could not be kept. Symbolic links have none to set.
void copyMode(const struct stat& source, bool ownershipKept, const NewEntry& entry);

/// Gives `entry` the access and modification times of `source`, to the
/// nanosecond. Throws SystemFailure when it cannot.
void copyTimes(const struct stat& source, const NewEntry& entry);

}  // namespace helpers
