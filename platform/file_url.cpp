#include "platform/file_url.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>
#include <utility>

#include "platform/utf8.h"

namespace installer {
namespace {

constexpr char kSeparator = '/';

/// `path` without trailing separators; a path of separators only becomes "/".
std::string droppingTrailingSeparators(std::string path) {
  const std::size_t lastKept = path.find_last_not_of(kSeparator);
  if (lastKept == std::string::npos) return path.empty() ? path : std::string(1, kSeparator);
  path.erase(lastKept + 1);
  return path;
}

/// `base` and `tail` joined by exactly one separator; `tail` has no leading one.
std::string joinedPath(const std::string& base, std::string_view tail) {
  std::string joined = droppingTrailingSeparators(base);
  if (joined != "/") joined += kSeparator;
  joined += tail;
  return joined;
}

/// Keeps every stored path absolute, even when a caller hands over a relative
/// current directory.
std::string anchoredAtRoot(std::string path) {
  if (path.empty() || path.front() != kSeparator) path.insert(path.begin(), kSeparator);
  return droppingTrailingSeparators(std::move(path));
}

// Directional controls would let a name display an extension it does not
// have, so such text never counts as one (as on the platform).
constexpr std::array<std::string_view, 12> kDirectionalControls = {
    "\xD8\x9C",                                                  // U+061C
    "\xE2\x80\x8E", "\xE2\x80\x8F",                              // U+200E-200F
    "\xE2\x80\xAA", "\xE2\x80\xAB", "\xE2\x80\xAC", "\xE2\x80\xAD",
    "\xE2\x80\xAE",                                              // U+202A-202E
    "\xE2\x81\xA6", "\xE2\x81\xA7", "\xE2\x81\xA8", "\xE2\x81\xA9",  // U+2066-2069
};

bool isValidExtension(std::string_view extension) {
  if (extension.empty() || extension.find_first_of(" /") != std::string_view::npos) return false;
  for (std::string_view control : kDirectionalControls) {
    if (extension.find(control) != std::string_view::npos) return false;
  }
  return true;
}

bool isASCIILetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isASCIIDigit(char c) { return c >= '0' && c <= '9'; }

bool isSchemeCharacter(char c) {
  return isASCIILetter(c) || isASCIIDigit(c) || c == '+' || c == '-' || c == '.';
}

/// Whether `c` may appear unescaped somewhere in a URL string.
bool isURLCharacter(char c) {
  const auto byte = static_cast<unsigned char>(c);
  if (byte <= 0x20 || byte >= 0x7F) return false;
  return std::string_view("\"<>\\^`{|}").find(c) == std::string_view::npos;
}

int hexDigitValue(char c) {
  if (isASCIIDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

/// Whether every "%" in `text` starts a two-digit hexadecimal escape.
bool hasWellFormedEscapes(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') continue;
    if (i + 2 >= text.size()) return false;
    if (hexDigitValue(text[i + 1]) < 0 || hexDigitValue(text[i + 2]) < 0) return false;
    i += 2;
  }
  return true;
}

/// `text` with its escapes replaced by the bytes they stand for; nothing when
/// a byte is NUL. Expects `hasWellFormedEscapes(text)`.
std::optional<std::string> percentDecoded(std::string_view text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char byte = text[i];
    if (byte == '%') {
      byte = static_cast<char>(hexDigitValue(text[i + 1]) * 16 + hexDigitValue(text[i + 2]));
      i += 2;
    }
    if (byte == '\0') return std::nullopt;
    decoded += byte;
  }
  return decoded;
}

/// The host named by an authority "user@host:port" (brackets of an IPv6
/// literal kept).
std::string_view hostOfAuthority(std::string_view authority) {
  const std::size_t at = authority.rfind('@');
  if (at != std::string_view::npos) authority.remove_prefix(at + 1);
  if (!authority.empty() && authority.front() == '[') {
    const std::size_t close = authority.find(']');
    return close == std::string_view::npos ? authority : authority.substr(0, close + 1);
  }
  return authority.substr(0, authority.find(':'));
}

}  // namespace

FileURL FileURL::fromPath(const std::string& path, const std::string& currentDirectory) {
  if (path.empty()) return FileURL(anchoredAtRoot(currentDirectory));
  if (path.front() == kSeparator) return FileURL(anchoredAtRoot(path));
  return FileURL(anchoredAtRoot(joinedPath(currentDirectory, path)));
}

FileURL FileURL::fromAbsolutePath(const std::string& path) { return fromPath(path, "/"); }

std::string FileURL::lastPathComponent() const {
  if (path_ == "/") return path_;
  return path_.substr(path_.rfind(kSeparator) + 1);
}

FileURL FileURL::deletingLastPathComponent() const {
  if (path_ == "/") return *this;
  // Dropping a "." or ".." would name the same place or a child, not the
  // parent; stepping up once more is what the platform does too.
  const std::string last = lastPathComponent();
  if (last == "." || last == "..") return FileURL(path_ + "/..");
  return FileURL(anchoredAtRoot(path_.substr(0, path_.rfind(kSeparator))));
}

FileURL FileURL::appendingPathComponent(const std::string& component) const {
  const std::size_t start = component.find_first_not_of(kSeparator);
  if (start == std::string::npos) return *this;
  return FileURL(anchoredAtRoot(joinedPath(path_, std::string_view(component).substr(start))));
}

std::string FileURL::pathExtension() const {
  const std::string last = lastPathComponent();
  if (last.ends_with('.') || last.starts_with("..")) return {};
  const std::size_t dot = last.rfind('.');
  if (dot == std::string::npos || dot == 0) return {};
  std::string extension = last.substr(dot + 1);
  if (!isValidExtension(extension)) return {};
  return extension;
}

FileURL FileURL::deletingPathExtension() const {
  const std::string extension = pathExtension();
  if (extension.empty()) return *this;
  return FileURL(path_.substr(0, path_.size() - extension.size() - 1));
}

std::vector<std::string> FileURL::pathComponents() const {
  std::vector<std::string> components{"/"};
  std::size_t start = 0;
  while ((start = path_.find_first_not_of(kSeparator, start)) != std::string::npos) {
    const std::size_t end = path_.find(kSeparator, start);
    components.push_back(path_.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end;
  }
  return components;
}

FileURL FileURL::standardized() const {
  std::vector<std::string> kept;
  const std::vector<std::string> components = pathComponents();
  for (std::size_t i = 1; i < components.size(); ++i) {
    const std::string& component = components[i];
    if (component == ".") continue;
    if (component == "..") {
      if (!kept.empty()) kept.pop_back();
      continue;
    }
    kept.push_back(component);
  }
  std::string path;
  for (const std::string& component : kept) path += kSeparator + component;
  return FileURL(path.empty() ? std::string(1, kSeparator) : path);
}

std::string expandingTildeInPath(
    const std::string& path, const std::string& home,
    const std::function<std::optional<std::string>(const std::string&)>& homeOfUser) {
  if (path.empty() || path.front() != '~') return path;
  const std::size_t userEnd = std::min(path.find(kSeparator), path.size());
  const std::string user = path.substr(1, userEnd - 1);
  std::optional<std::string> userHome;
  if (user.empty()) {
    userHome = home;
  } else if (homeOfUser) {
    userHome = homeOfUser(user);
  }
  // An unknown home must not turn "~/x" into "/x".
  if (!userHome || userHome->empty()) return path;
  std::string expanded = droppingTrailingSeparators(*userHome);
  if (expanded == "/") expanded.clear();
  expanded += path.substr(userEnd);
  return expanded.empty() ? std::string(1, kSeparator) : droppingTrailingSeparators(expanded);
}

std::optional<ParsedURL> parseURLString(const std::string& text) {
  if (text.empty() || !isASCIILetter(text.front())) return std::nullopt;
  for (char c : text) {
    if (!isURLCharacter(c)) return std::nullopt;
  }
  if (!hasWellFormedEscapes(text)) return std::nullopt;

  std::size_t schemeEnd = 0;
  while (schemeEnd < text.size() && isSchemeCharacter(text[schemeEnd])) ++schemeEnd;
  if (schemeEnd == text.size() || text[schemeEnd] != ':') return std::nullopt;

  ParsedURL parsed;
  for (char c : std::string_view(text).substr(0, schemeEnd)) {
    parsed.scheme += static_cast<char>(isASCIILetter(c) ? (c | 0x20) : c);
  }

  std::string_view rest = std::string_view(text).substr(schemeEnd + 1);
  rest = rest.substr(0, rest.find('#'));
  rest = rest.substr(0, rest.find('?'));
  if (rest.starts_with("//")) {
    rest.remove_prefix(2);
    const std::size_t authorityEnd = std::min(rest.find(kSeparator), rest.size());
    std::optional<std::string> host = percentDecoded(hostOfAuthority(rest.substr(0, authorityEnd)));
    if (!host || !isWellFormedUTF8(*host)) return std::nullopt;
    parsed.host = std::move(*host);
    rest.remove_prefix(authorityEnd);
  }

  // Bytes that are not UTF-8 cannot name anything on the platform's volumes.
  std::optional<std::string> path = percentDecoded(rest);
  if (!path || !isWellFormedUTF8(*path)) return std::nullopt;
  if (parsed.isFileURL() && !path->starts_with(kSeparator)) return std::nullopt;
  parsed.path = droppingTrailingSeparators(std::move(*path));
  return parsed;
}

bool isSingleName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

}  // namespace installer
