#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/file_url.h"

namespace installer {

/// The parsed command line; every location in normalized form.
struct Options {
  /// The new bundle to install.
  FileURL source;
  /// Where the browser is installed; its last component is `browserBundle`.
  FileURL destination;
  /// The copy the caller says runs now.
  std::optional<FileURL> current;

  /// Reads `argumentVector` (element 0 is the program's own path) with the
  /// defaults of the program's bundle and home. Throws InstallerError for an
  /// incomplete or unsupported argument list or a misnamed destination;
  /// touches nothing on disk.
  static Options fromArguments(const std::vector<std::string>& argumentVector);
};

}  // namespace installer
