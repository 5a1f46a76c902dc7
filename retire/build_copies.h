#pragma once

#include <array>
#include <string_view>
#include <vector>

#include "platform/file_url.h"

#ifndef QRVX_SYSTEM_TEMPORARY_FOLDER
#error "QRVX_SYSTEM_TEMPORARY_FOLDER must name the system temporary folder of the target"
#endif

namespace installer {

/// The system-wide temporary folder where builds leave copies of the browser.
inline constexpr std::string_view systemTemporaryFolder = QRVX_SYSTEM_TEMPORARY_FOLDER;

/// Names of entries of the temporary folder that builds create.
inline constexpr std::array<std::string_view, 3> buildFolderPrefixes = {
    "qrvx-browser-", "qrvx-cef-", "qrvx-home-compact."};
/// The subfolders of a build folder that are searched besides the folder itself.
inline constexpr std::array<std::string_view, 4> buildSubfolders = {"release", "final", "native",
                                                                    "candidate"};

/// True when `url` is named like a copy of the browser: the browser's name,
/// or that name, one space and a version number, with the extension "app".
/// Looks at the name only.
bool hasBrowserName(const FileURL& url);

/// True when `url` itself (a link is not followed) is a directory of the
/// current user that neither the group nor others may write.
bool isPrivateDirectory(const FileURL& url);

/// True when `url` is a directory of the current user and nothing at or
/// beneath it (links aside) belongs to another user or may be written by
/// the group or others: no one else can have put in or can change what it holds.
bool isOwnTree(const FileURL& url);

/// True when each of `folders` is a private directory (isPrivateDirectory).
bool arePrivateDirectories(const std::vector<FileURL>& folders);

/// A browser-named item found in a private build folder.
struct BuildCopy {
  /// As listed.
  FileURL url;
  /// The build folder and, for an item of a known subfolder, that subfolder.
  /// Either may become a link or writable by others once it has been judged,
  /// so the item is used only while all of them are still private.
  std::vector<FileURL> folders;
};

/// Browser-named items directly inside the private build folders of
/// `temporaryFolder` and inside their private known subfolders, in listing
/// order, as listed, with the folders that hold each. Never fails; what
/// cannot be listed contributes nothing.
std::vector<BuildCopy> buildCopiesIn(const FileURL& temporaryFolder);

/// The same items without their folders.
std::vector<FileURL> temporaryBuildCopies(const FileURL& temporaryFolder);

/// The same for the system temporary folder.
std::vector<FileURL> temporaryBuildCopies();

}  // namespace installer
