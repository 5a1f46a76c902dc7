#include "install/leftovers.h"

#include <exception>
#include <optional>
#include <string_view>

#include "entry/constants.h"
#include "platform/services.h"

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

bool isStagingName(const std::string& name) {
  return name.starts_with(stagingDirectoryPrefix) &&
         isUUIDText(std::string_view(name).substr(stagingDirectoryPrefix.size()));
}

/// Made as this installer makes its staging directories: the user's own, and
/// nobody else may write it.
bool isPrivateFolder(const FileStatus& status, std::uint32_t user) {
  return (status.mode & fileTypeMask) == directoryType && status.uid == user &&
         (status.mode & (groupWriteBit | otherWriteBit)) == 0;
}

bool sameItem(const FileStatus& a, const FileStatus& b) {
  return a.device == b.device && a.inode == b.inode;
}

/// A real directory that reads as a bundle of the browser.
bool isBrowserBundle(const FileURL& item) {
  const std::optional<FileStatus> status = services().posix->lstat(item.path());
  if (!status || (status->mode & fileTypeMask) != directoryType) return false;
  const std::optional<BundleContents> bundle = services().bundles->open(item);
  return bundle && bundle->bundleIdentifier == browserIdentifier;
}

/// The entries a leftover `name` shows, when it is one: nothing, or the
/// browser's bundle alone. The system may add hidden folder metadata, which
/// goes with the folder.
std::optional<std::vector<FileURL>> leftoverContents(const InstallLock& lock,
                                                     const std::string& name,
                                                     const FileStatus& status) {
  std::vector<FileURL> items;
  try {
    items = files().contentsOfDirectory(lock.installDirectory().appendingPathComponent(name));
  } catch (const std::exception&) {
    return std::nullopt;
  }
  // Listed by its path: what was listed counts only if that is still the
  // folder judged through its descriptor.
  const std::optional<FileStatus> listed = services().posix->lstatAt(lock.descriptor(), name);
  if (!listed || !sameItem(*listed, status) || items.size() > 1) return std::nullopt;
  if (items.size() == 1 &&
      (items[0].lastPathComponent() != browserBundle || !isBrowserBundle(items[0]))) {
    return std::nullopt;
  }
  return items;
}

void putAway(const InstallLock& lock, const std::string& name, Leftovers& leftovers) {
  Posix& posix = *services().posix;
  const int descriptor = posix.openDirectoryAt(lock.descriptor(), name);
  if (descriptor < 0) return;  // a link, a file, or gone: not one of ours
  const std::optional<FileStatus> status = posix.fstat(descriptor);
  posix.close(descriptor);
  if (!status || !isPrivateFolder(*status, posix.getuid())) return;
  const std::optional<std::vector<FileURL>> items = leftoverContents(lock, name, *status);
  if (!items) return;
  for (const FileURL& item : *items) {
    // The item keeps its own name in the Trash, the one the user knows it by.
    try {
      files().trashItem(item);
      leftovers.trashed.push_back(item.path());
    } catch (const std::exception&) {
      leftovers.stayed.push_back(item.path());
      return;
    }
  }
  if (posix.removeTreeAt(lock.descriptor(), name, *status) != 0) {
    leftovers.stayed.push_back(lock.installDirectory().appendingPathComponent(name).path());
  }
}

}  // namespace

Leftovers putAwayLeftovers(const InstallLock& lock) {
  Leftovers leftovers;
  std::vector<FileURL> entries;
  try {
    entries = files().contentsOfDirectoryIncludingHidden(lock.installDirectory());
  } catch (const std::exception&) {
    return leftovers;
  }
  for (const FileURL& entry : entries) {
    const std::string name = entry.lastPathComponent();
    if (isStagingName(name)) putAway(lock, name, leftovers);
  }
  return leftovers;
}

}  // namespace installer
