#pragma once

#include <string>

namespace helpers {

/// The folder of the host's application registry:
/// ${XDG_DATA_HOME:-$HOME/.local/share}/launch-services (a relative
/// XDG_DATA_HOME is ignored, as the XDG base directory rules say). Throws
/// SystemFailure when neither variable gives an absolute folder.
std::string registryDirectory();

/// The registry's file name inside registryDirectory().
inline constexpr const char* registryFileName = "registered-bundles.txt";

/// `path` as one registry line: "\" written "\\", a line feed "\n".
std::string registryLine(const std::string& path);

/// Adds (`registered`) or withdraws the line for `path` in the registry,
/// under an exclusive lock, replacing the file atomically when it changes.
/// Folders are created for an addition only. Throws SystemFailure.
void updateRegistry(const std::string& path, bool registered);

}  // namespace helpers
