#pragma once

// Launch Services on a Linux desktop: a registered bundle is a freedesktop
// desktop entry in the user's applications folder, which menus, launchers,
// "default application" settings and GIO read. The lsregister helper and the
// host workspace both register through here, so both name an entry alike.

#include <string>

namespace installer::host {

/// ${XDG_DATA_HOME:-$HOME/.local/share}/applications (a relative
/// XDG_DATA_HOME is ignored, as the XDG base directory rules say). Throws
/// PlatformError when neither variable gives an absolute folder.
std::string desktopEntriesFolder();

/// `path` made absolute against the working directory and tidied lexically
/// (no "." components, repeated or trailing slashes), so that every spelling
/// of a bundle names the same entry; ".." and links stay as written.
std::string registeredBundlePath(const std::string& path);

/// "quorvane-<first 16 hex of the SHA-256 of `bundle`>.desktop".
std::string desktopEntryName(const std::string& bundle);

/// Writes the entry of the bundle at `bundle` (a registeredBundlePath) into
/// `folder`, replacing any earlier one atomically, and refreshes the folder's
/// MIME cache. Throws PlatformError when `bundle` is no readable bundle or
/// the entry cannot be written.
void registerDesktopEntry(const std::string& folder, const std::string& bundle);

/// Removes the entry of `bundle`, if any, and refreshes the MIME cache. The
/// entry of a bundle already gone is removed too; throws PlatformError when
/// there is neither, or the entry cannot be removed.
void withdrawDesktopEntry(const std::string& folder, const std::string& bundle);

/// Whether `folder` holds the entry of `bundle` (a registeredBundlePath): a
/// file of the user under the entry's name whose X-Quorvane-Bundle is that
/// path. Throws PlatformError only when the name cannot be made.
bool holdsDesktopEntry(const std::string& folder, const std::string& bundle);

}  // namespace installer::host
