#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace installer {

/// An absolute file location with the Foundation file-URL semantics the
/// installer relies on. Pure value code: nothing here touches the file system.
///
/// The path is kept as written, except that a trailing separator is dropped
/// (as `path` drops it on the platform); only `standardized()` removes ".",
/// ".." and repeated separators.
class FileURL {
 public:
  FileURL() : path_("/") {}

  /// A file URL for `path`; a relative path is taken relative to
  /// `currentDirectory` (itself absolute).
  static FileURL fromPath(const std::string& path, const std::string& currentDirectory);
  /// A file URL for an absolute path.
  static FileURL fromAbsolutePath(const std::string& path);

  const std::string& path() const { return path_; }

  /// The last element of the path ("/" for the root).
  std::string lastPathComponent() const;
  /// The location without its last component; the root stays the root.
  FileURL deletingLastPathComponent() const;
  /// The location extended by one component (`component` may hold separators).
  FileURL appendingPathComponent(const std::string& component) const;
  /// The text after the last full stop of the last component, or empty.
  std::string pathExtension() const;
  /// The location with its path extension and that full stop removed.
  FileURL deletingPathExtension() const;
  /// "/" followed by one element per level.
  std::vector<std::string> pathComponents() const;
  /// The same place without ".", ".." or redundant separators.
  FileURL standardized() const;

  friend bool operator==(const FileURL&, const FileURL&) = default;

 private:
  explicit FileURL(std::string path) : path_(std::move(path)) {}
  std::string path_;
};

/// Foundation's `stringByExpandingTildeInPath`: "~" and "~/..." become the
/// home directory; "~name/..." becomes that user's home when `homeOfUser`
/// knows the user; everything else is returned unchanged.
std::string expandingTildeInPath(
    const std::string& path, const std::string& home,
    const std::function<std::optional<std::string>(const std::string&)>& homeOfUser);

/// A URL parsed from its string form: scheme and percent-decoded path.
struct ParsedURL {
  std::string scheme;  // lower case
  std::string host;
  std::string path;    // percent-decoded, trailing separator dropped
  bool isFileURL() const { return scheme == "file"; }
};

/// Parses an absolute URL string ("scheme:..."); nothing when the string is
/// not a URL (no scheme, invalid characters, malformed percent escapes).
std::optional<ParsedURL> parseURLString(const std::string& text);

/// Whether `name` can only name an entry of one folder: not empty, no "/",
/// not "." or "..".
bool isSingleName(const std::string& name);

}  // namespace installer
