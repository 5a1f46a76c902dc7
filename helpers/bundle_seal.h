#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>

namespace helpers {

using Digest = std::array<unsigned char, 32>;

enum class EntryKind { file, directory, symlink, bundle };

/// What a seal records for one path of a bundle: the mode bits of files,
/// directories and nested bundles, the size and content digest of files, the
/// digest of a nested bundle's own seal, the target of symbolic links.
struct SealEntry {
  EntryKind kind = EntryKind::file;
  std::uint32_t mode = 0;
  std::uint64_t size = 0;
  Digest digest{};
  std::string target;
};

/// Relative path (UTF-8, "." for the bundle itself) to what it was sealed as.
using Seal = std::map<std::string, SealEntry>;

/// Where a bundle keeps its seal, relative to the bundle.
inline constexpr const char* sealRelativePath = "Contents/_CodeSignature/CodeResources";

/// "file", "directory", "symbolic link", "nested bundle".
std::string kindName(EntryKind kind);

/// A bundle that does not match its seal, or cannot be sealed: `relative`
/// names the path inside the bundle (empty for the bundle as a whole).
class SealMismatch : public std::runtime_error {
 public:
  SealMismatch(std::string relative, const std::string& what)
      : std::runtime_error(what), relative_(std::move(relative)) {}
  const std::string& relative() const { return relative_; }

 private:
  std::string relative_;
};

}  // namespace helpers
