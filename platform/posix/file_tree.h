#pragma once

#include <sys/stat.h>

#include <functional>
#include <optional>
#include <string>

#include "platform/posix.h"

namespace installer::posix {

/// The fields of `status` the installer reads.
FileStatus fileStatusOf(const struct stat& status);

/// Where a tree walk stopped: the item, and the errno value of the failure
/// or what `visit` answered.
struct TreeStop {
  std::string path;
  int error = 0;
};

/// Hands `visit` the item at `root` and everything beneath it, parents
/// first, each with its `lstat` status; no link is followed. `visit`
/// answers 0 to go on or an errno value to stop. Nothing when the whole tree
/// was seen; otherwise the item where a part could not be read or `visit`
/// stopped.
std::optional<TreeStop> walkTree(
    const std::string& root,
    const std::function<int(const std::string& path, const FileStatus& status)>& visit);

}  // namespace installer::posix
