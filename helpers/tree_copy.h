#pragma once

#include <string>

namespace helpers {

/// Copies `sourcePath` (a link is copied as a link) to the new entry `name`
/// in the open directory `destinationParentFd`, whose full path is
/// `destinationPath`: contents cloned where possible, with modes, times,
/// ownership where permitted and extended attributes. Sets `created` once the
/// new entry exists, so that the caller can remove a partial copy. Throws
/// SystemFailure at the first failure.
void copyTree(const std::string& sourcePath, int destinationParentFd, const std::string& name,
              const std::string& destinationPath, bool& created);

}  // namespace helpers
