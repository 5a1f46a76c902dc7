#pragma once

// A freedesktop.org home trash read the way a desktop's Trash window reads it:
// Trash/info/NAME.trashinfo says where Trash/files/NAME came from.

#include <filesystem>
#include <map>
#include <string>
#include <string_view>

namespace e2e {

struct TrashedItem {
  std::filesystem::path file;      ///< Trash/files/NAME
  std::filesystem::path infoFile;  ///< Trash/info/NAME.trashinfo
  std::string deletionDate;        ///< as written, e.g. 2024-05-01T10:00:00
};

/// `text` with every %XX decoded; throws HarnessError on a broken escape.
std::string percentDecoded(std::string_view text);

/// What the trash at `trashFolder` (…/Trash) holds, by the decoded original
/// path of each item; empty when it has no info folder. Throws HarnessError
/// for an info file that lacks "[Trash Info]" or Path=, names its original
/// twice, or whose item is missing from files/.
std::map<std::filesystem::path, TrashedItem> trashedItems(const std::filesystem::path& trashFolder);

}  // namespace e2e
