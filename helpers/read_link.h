#pragma once

#include <string>

namespace helpers {

/// The whole target of the symbolic link `name` in `directoryFd` (AT_FDCWD
/// for a path). Throws SystemFailure naming `path` when it cannot be read.
std::string readLinkTarget(int directoryFd, const char* name, const std::string& path);

}  // namespace helpers
