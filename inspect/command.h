#pragma once

#include <string>
#include <vector>

namespace installer {

/// Runs a system tool and waits for it. Throws InstallerError(`failure`)
/// when it ends with a non-zero status (a signal included), and the
/// platform's start error, unchanged, when it cannot be started.
void command(const std::string& executable, const std::vector<std::string>& arguments,
             const std::string& failure);

}  // namespace installer
