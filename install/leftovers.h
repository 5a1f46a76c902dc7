#pragma once

#include <string>
#include <vector>

#include "install/staging.h"

namespace installer {

/// What became of the staging directories that interrupted runs left behind.
struct Leftovers {
  /// The items moved to the Trash, by the paths they had in their directory.
  std::vector<std::string> trashed;
  /// The items that could not be moved (their directory stays with them),
  /// and any directory that could not be removed.
  std::vector<std::string> stayed;
};

/// Moves the bundle of every staging directory in the locked folder to the
/// Trash and removes the directories so emptied. Only the holder of the
/// install lock may call it: no other installer then has a staging directory
/// there, so every one found is left from an interrupted run. A directory is
/// taken for one only when it is laid out as this installer leaves them; any
/// other stays untouched and unmentioned. Never throws.
Leftovers putAwayLeftovers(const InstallLock& lock);

}  // namespace installer
