#pragma once

#include <string>

#include "platform/file_url.h"

namespace installer {

/// `path` as a location: an absolute path as it stands, a relative or empty
/// one against the current directory, which is asked for only then (it may
/// have been removed, and absolute paths must still work).
FileURL locationFromPath(const std::string& path);

/// The location with every symbolic link resolved, also one that does not
/// exist yet: the deepest existing ancestor is resolved and the missing names
/// are appended as written. Never fails; the standardized input when nothing
/// resolves.
FileURL canonicalPath(const FileURL& url);

/// The canonical form of the folder holding `url`, with `url`'s own last
/// component appended unchanged, so a bundle reached through a link keeps its
/// name while its folder becomes comparable.
FileURL normalized(const FileURL& url);

/// True when a folder above the last component of `url` is itself an
/// application bundle (its name ends in ".app"), so the item is part of it.
bool isInsideAnotherBundle(const FileURL& url);

}  // namespace installer
