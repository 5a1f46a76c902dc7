// Dock tiles: which of them name a retired copy. The first input byte picks
// how a path is written as a file URL (escapes, case, host, trailing
// separator); the rest is that path, and also taken as a URL string as is.

#include <algorithm>
#include <cstdlib>
#include <set>

#include "platform/file_url.h"
#include "retire/dock_tiles.h"
#include "inspect/location.h"
#include "tests/fuzz/fuzz_platform.h"

namespace installer::fuzzing {
namespace {

const std::string dock = "com.apple.dock";
const std::string retiredCopy = fuzzHome + "/Applications/Quorvane浏览器 2.0.app";
const std::string otherCopy = fuzzHome + "/Applications/Other.app";

enum Spelling : std::uint8_t {
  escapeEveryByte = 1,
  lowerCaseEscapes = 2,
  trailingSeparator = 4,
  localHost = 8,
  upperCaseScheme = 16,
  escapedSeparators = 32,
};

bool isUnreserved(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         c == '-' || c == '.' || c == '_' || c == '~';
}

/// `path` (absolute) as a file URL string in the spelling `flags` asks for.
std::string fileURLString(const std::string& path, std::uint8_t flags) {
  const char* digits = (flags & lowerCaseEscapes) ? "0123456789abcdef" : "0123456789ABCDEF";
  std::string url = (flags & upperCaseScheme) ? "FILE://" : "file://";
  if (flags & localHost) url += "localhost";
  for (std::size_t i = 0; i < path.size(); ++i) {
    const char c = path[i];
    const bool plainSeparator = c == '/' && (i == 0 || !(flags & escapedSeparators));
    if (plainSeparator || (isUnreserved(c) && !(flags & escapeEveryByte))) {
      url += c;
    } else {
      const auto byte = static_cast<unsigned char>(c);
      url += '%';
      url += digits[byte >> 4];
      url += digits[byte & 15];
    }
  }
  if (flags & trailingSeparator) url += '/';
  return url;
}

/// Whether `text` decodes as UTF-8 into Unicode scalar values, each in its
/// shortest form.
bool isUTF8(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xC0 ? 0 : lead < 0xE0 ? 2
                             : lead < 0xF0 ? 3 : lead < 0xF8 ? 4 : 0;
    if (length == 0 || i + length > text.size()) return false;
    std::uint32_t codePoint = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      codePoint = (codePoint << 6) | (next & 0x3F);
    }
    const std::uint32_t shortest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (codePoint < shortest[length] || codePoint > 0x10FFFF ||
        (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
      return false;
    }
    i += length;
  }
  return true;
}

/// Whether a copy can live at the absolute `path`: NUL-free UTF-8.
bool canNameACopy(const std::string& path) {
  return path.find('\0') == std::string::npos && isUTF8(path);
}

PropertyValue tile(const std::string& urlString) {
  return PropertyDictionary{
      {"tile-data",
       PropertyDictionary{{"file-data", PropertyDictionary{{"_CFURLString", urlString},
                                                           {"_CFURLStringType", std::int64_t{15}}}},
                          {"file-label", "Quorvane浏览器"}}},
      {"tile-type", "file-tile"}};
}

bool holds(const PropertyArray& tiles, const PropertyValue& wanted) {
  return std::find(tiles.begin(), tiles.end(), wanted) != tiles.end();
}

/// What every parsed URL string promises its users.
void checkParsed(const std::string& text) {
  const std::optional<ParsedURL> parsed = parseURLString(text);
  if (!parsed) return;
  if (parsed->scheme.empty() ||
      parsed->scheme.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ") != std::string::npos ||
      !isUTF8(parsed->path) || !isUTF8(parsed->host) ||
      parsed->path.find('\0') != std::string::npos ||
      (parsed->isFileURL() && !parsed->path.starts_with('/')) ||
      (parsed->path.size() > 1 && parsed->path.ends_with('/'))) {
    std::abort();
  }
}

}  // namespace
}  // namespace installer::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace installer;
  using namespace installer::fuzzing;
  if (size == 0) return 0;
  FixedServices& fixed = installFixedServices();
  const std::uint8_t flags = data[0];
  const std::string text = textOf(data + 1, size - 1);
  checkParsed(text);
  // Only an absolute path can follow the authority of a file URL.
  const std::string path = text.starts_with('/') ? text : "/" + text;

  const PropertyValue pathTile = tile(fileURLString(path, flags));
  const PropertyValue retiredTile = tile(fileURLString(retiredCopy, flags));
  const PropertyValue otherTile = tile(fileURLString(otherCopy, flags));
  const PropertyValue rawTile = tile(text);
  // A list holding anything but dictionaries is not the Dock's: left whole.
  const PropertyArray recent{pathTile, PropertyValue(std::int64_t{42})};
  fixed.preferences.values_.clear();
  fixed.preferences.values_[dock]["persistent-apps"] =
      PropertyArray{otherTile, pathTile, retiredTile, rawTile};
  fixed.preferences.values_[dock]["recent-apps"] = recent;
  fixed.posix.signalsSent_.clear();

  std::set<std::string> retired{retiredCopy};
  const bool retiresPath = canNameACopy(path);
  bool retiresOther = false;
  if (retiresPath) {
    const std::string retiredPath = normalized(FileURL::fromAbsolutePath(path)).path();
    retired.insert(retiredPath);
    retiresOther = sameText(retiredPath, otherCopy);
  }
  removeDockEntries(retired);

  const PropertyArray* kept = fixed.preferences.values_[dock]["persistent-apps"].array();
  if (!kept) std::abort();
  const bool rawTileWent = !holds(*kept, rawTile);
  const bool rawTileIsAFileURL = [&] {
    const std::optional<ParsedURL> parsed = parseURLString(text);
    return parsed && parsed->isFileURL();
  }();
  if (holds(*kept, otherTile) == retiresOther || holds(*kept, retiredTile) ||
      holds(*kept, pathTile) != !retiresPath || (rawTileWent && !rawTileIsAFileURL) ||
      fixed.preferences.values_[dock]["recent-apps"] != PropertyValue(recent) ||
      fixed.posix.signalsSent_ != std::vector<std::pair<int, int>>{{300, hangUpSignal}}) {
    std::abort();
  }
  return 0;
}
