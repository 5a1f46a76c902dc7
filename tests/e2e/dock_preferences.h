#pragma once

// The Dock's preferences as a test prepares and reads them: the property list
// ${XDG_CONFIG_HOME}/preferences/com.apple.dock.plist, whose "persistent-apps"
// and "recent-apps" hold tiles {tile-data: {file-data: {_CFURLString: URL}}}.
// Values are given as XML fragments and compared in a canonical rendering, so
// a rewrite that keeps every value equal compares equal whatever its layout.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace e2e {

/// The Dock's preference file under a configuration home.
std::filesystem::path dockPreferencesFile(const std::filesystem::path& configHome);

/// "file://" + `path` with every byte but unreserved ones and "/" percent-encoded,
/// and a trailing slash when asked (as the Dock writes folders).
std::string fileURLString(const std::filesystem::path& path, bool trailingSlash = true);

/// The XML of an application tile for `urlString`, with a label and fields
/// beside the URL that an edit must carry along untouched.
std::string applicationTile(std::string_view urlString, std::string_view label);

/// Writes the preferences as a binary property list, as the Dock does: each
/// key with one XML value ("<array>…</array>", "<integer>48</integer>", …).
/// Throws HarnessError when a value is not XML of one property-list value.
void writeDockPreferences(const std::filesystem::path& file,
                          const std::vector<std::pair<std::string, std::string>>& values);

/// The value under `key` in the preferences at `file`, rendered canonically;
/// nothing when the key is absent. Throws HarnessError when the file cannot be
/// read as a dictionary (XML or binary).
std::optional<std::string> dockPreference(const std::filesystem::path& file, const std::string& key);

/// One XML value rendered as dockPreference renders stored ones.
std::string renderedValue(std::string_view xml);

}  // namespace e2e
