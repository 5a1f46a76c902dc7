#pragma once

#include <string>

namespace helpers {

/// Removes the entry `name` in `directoryFd` and, for a directory, everything
/// in it, never following a link. Best effort: answers false, after writing a
/// diagnostic to standard error, when something stayed behind.
bool removeTree(int directoryFd, const char* name, const std::string& path);

}  // namespace helpers
