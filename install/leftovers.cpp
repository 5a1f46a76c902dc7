#include "install/leftovers.h"

#include <exception>
#include <string_view>

#include "entry/constants.h"
#include "install/staging.h"
#include "retire/build_copies.h"

namespace installer {
namespace {

/// True for the UUID text a staging directory is named with: 8-4-4-4-12
/// upper-case hexadecimal digits.
bool isUUIDText(std::string_view text) {
  if (text.size() != 36) return false;
  for (std::size_t index = 0; index < text.size(); ++index) {
    const char c = text[index];
    const bool hyphenPlace = index == 8 || index == 13 || index == 18 || index == 23;
    const bool hexDigit = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
    if (hyphenPlace ? c != '-' : !hexDigit) return false;
  }
  return true;
}

/// Named as this installer names its staging directories and made as it
/// makes them: anything else in the folder is someone else's.
bool isStagingDirectory(const FileURL& entry) {
  const std::string name = entry.lastPathComponent();
  return name.starts_with(stagingDirectoryPrefix) &&
         isUUIDText(std::string_view(name).substr(stagingDirectoryPrefix.size())) &&
         isPrivateDirectory(entry);
}

void putAway(const FileURL& directory, Leftovers& leftovers) {
  std::vector<FileURL> items;
  try {
    // The installer puts nothing hidden there; what the system may add
    // (folder metadata) is no copy of anything and goes with the folder.
    items = files().contentsOfDirectory(directory);
  } catch (const std::exception&) {
    leftovers.stayed.push_back(directory.path());
    return;
  }
  bool emptied = true;
  for (const FileURL& item : items) {
    // The item keeps its own name in the Trash, the one the user knows it by.
    try {
      files().trashItem(item);
      leftovers.trashed.push_back(item.path());
    } catch (const std::exception&) {
      leftovers.stayed.push_back(item.path());
      emptied = false;
    }
  }
  if (!emptied) return;
  try {
    files().removeItem(directory);
  } catch (const std::exception&) {
    leftovers.stayed.push_back(directory.path());
  }
}

}  // namespace

Leftovers putAwayLeftovers(const FileURL& installDirectory) {
  Leftovers leftovers;
  std::vector<FileURL> entries;
  try {
    entries = files().contentsOfDirectoryIncludingHidden(installDirectory);
  } catch (const std::exception&) {
    return leftovers;
  }
  for (const FileURL& entry : entries) {
    if (isStagingDirectory(entry)) putAway(entry, leftovers);
  }
  return leftovers;
}

}  // namespace installer
