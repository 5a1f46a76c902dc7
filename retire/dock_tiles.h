#pragma once

#include <set>
#include <string>

namespace installer {

/// Removes the Dock tiles (kept and recent applications) that point at one
/// of `paths`, and, once the change is stored, tells every running Dock to
/// reload. Reads nothing for an empty set; leaves malformed tiles alone.
/// Never throws.
void removeDockEntries(const std::set<std::string>& paths);

}  // namespace installer
