#pragma once

#include <string>
#include <vector>

namespace installer {

/// The whole life of the installer: accessory activation, the command line,
/// one transaction. Returns 0 after a normal end; any failure ends in the
/// failure alert, the description on standard error and exit status 1.
int runInstaller(const std::vector<std::string>& argumentVector);

}  // namespace installer
