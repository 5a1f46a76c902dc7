#include "retire/build_copies.h"

#include <algorithm>
#include <exception>
#include <string>
#include <utility>

#include "entry/constants.h"
#include "inspect/version.h"
#include "platform/services.h"

namespace installer {
namespace {

/// The entries of `folder`, or none when it cannot be listed.
std::vector<FileURL> entriesOrNone(const FileURL& folder) {
  try {
    return files().contentsOfDirectory(folder);
  } catch (const std::exception&) {
    return {};
  }
}

bool isBuildFolderName(const std::string& name) {
  return std::any_of(buildFolderPrefixes.begin(), buildFolderPrefixes.end(),
                     [&](std::string_view prefix) { return name.starts_with(prefix); });
}

/// The build folder itself, then each known subfolder that is private too.
std::vector<FileURL> searchRoots(const FileURL& buildFolder) {
  std::vector<FileURL> roots{buildFolder};
  for (std::string_view subfolder : buildSubfolders) {
    FileURL candidate = buildFolder.appendingPathComponent(std::string(subfolder));
    if (isPrivateDirectory(candidate)) roots.push_back(candidate);
  }
  return roots;
}

}  // namespace

bool hasBrowserName(const FileURL& url) {
  if (url.pathExtension() != "app") return false;
  const std::string name = url.deletingPathExtension().lastPathComponent();
  if (sameText(name, browserName)) return true;
  // A version is ASCII, and ASCII composes with nothing before it, so the
  // composed name holds the composed prefix followed by the version as written.
  Text& text = *services().text;
  const std::string composedName = text.precomposed(name);
  const std::string composedPrefix = text.precomposed(browserName + " ");
  if (!composedName.starts_with(composedPrefix)) return false;
  return versionNumbers(composedName.substr(composedPrefix.size())).has_value();
}

bool isPrivateDirectory(const FileURL& url) {
  Posix& posix = *services().posix;
  const std::optional<FileStatus> status = posix.lstat(url.path());
  return status && (status->mode & fileTypeMask) == directoryType &&
         status->uid == posix.getuid() && (status->mode & (groupWriteBit | otherWriteBit)) == 0;
}

bool isOwnTree(const FileURL& url) {
  Posix& posix = *services().posix;
  const std::uint32_t user = posix.getuid();
  return isPrivateDirectory(url) &&
         posix.visitTree(url.path(), [&](const std::string&, const FileStatus& status) {
           if ((status.mode & fileTypeMask) == symbolicLinkType) return true;
           return status.uid == user && (status.mode & (groupWriteBit | otherWriteBit)) == 0;
         });
}

bool arePrivateDirectories(const std::vector<FileURL>& folders) {
  return std::all_of(folders.begin(), folders.end(), isPrivateDirectory);
}

std::vector<BuildCopy> buildCopiesIn(const FileURL& temporaryFolder) {
  std::vector<BuildCopy> copies;
  for (const FileURL& entry : entriesOrNone(temporaryFolder)) {
    if (!isBuildFolderName(entry.lastPathComponent())) continue;
    // Anyone may create entries in the temporary folder: only a folder
    // nobody else can write is trusted to hold our own builds.
    if (!isPrivateDirectory(entry)) continue;
    for (const FileURL& root : searchRoots(entry)) {
      std::vector<FileURL> folders{entry};
      if (root.path() != entry.path()) folders.push_back(root);
      for (const FileURL& item : entriesOrNone(root)) {
        if (hasBrowserName(item)) copies.push_back({item, folders});
      }
    }
  }
  return copies;
}

std::vector<FileURL> temporaryBuildCopies(const FileURL& temporaryFolder) {
  std::vector<FileURL> copies;
  for (BuildCopy& copy : buildCopiesIn(temporaryFolder)) copies.push_back(std::move(copy.url));
  return copies;
}

std::vector<FileURL> temporaryBuildCopies() {
  return temporaryBuildCopies(FileURL::fromAbsolutePath(std::string(systemTemporaryFolder)));
}

}  // namespace installer
