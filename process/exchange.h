#pragma once

#include "platform/file_url.h"

namespace installer::process {

// Kept out of namespace installer on purpose: there, argument-dependent
// lookup would make this the `swap` that standard algorithms call on two
// FileURL values, exchanging files on disk instead of values in memory.

/// Exchanges the two items in one atomic step. Throws InstallerError with the
/// system's reason and changes nothing when that fails.
void swap(const FileURL& first, const FileURL& second);

}  // namespace installer::process
