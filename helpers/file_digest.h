#pragma once

#include <sys/stat.h>

#include <string>

#include "helpers/bundle_seal.h"
#include "helpers/unique_fd.h"

namespace helpers {

/// SHA-256 of everything readable from `fd`, read once in large blocks.
/// Throws SystemFailure naming `path` on a read error.
Digest digestOfDescriptor(int fd, const std::string& path);

/// Opens the regular file `name` in `directoryFd` for reading without
/// following a link, and fills `status` from the open file. Throws
/// SystemFailure naming `path` when it cannot, or when it is no regular file.
UniqueFd openRegularFile(int directoryFd, const char* name, const std::string& path,
                         struct stat& status);

/// SHA-256 of `bytes`.
Digest digestOfBytes(const std::string& bytes);

}  // namespace helpers
