#pragma once

#include <vector>

#include "platform/file_url.h"

namespace installer {

/// Refuses application locations that are, lie inside or contain one of the
/// browser's data roots (the user's Application Support folders and
/// `QRVX_DATA_ROOT`), comparing canonical paths without regard to letter case
/// or Unicode composition. Throws InstallerError naming the first offending
/// location as passed.
void checkDataDirectories(const std::vector<FileURL>& urls);

}  // namespace installer
