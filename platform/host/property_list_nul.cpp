#include "platform/host/property_list_nul.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace installer::host {
namespace {

/// The big-endian unsigned number of `size` bytes at `offset`, or nothing
/// when it does not lie inside `bytes`.
std::optional<std::uint64_t> bigEndian(std::string_view bytes, std::uint64_t offset,
                                       std::uint64_t size) {
  if (size == 0 || size > 8 || offset > bytes.size() || size > bytes.size() - offset)
    return std::nullopt;
  std::uint64_t value = 0;
  for (std::uint64_t i = 0; i < size; ++i)
    value = value << 8 | static_cast<unsigned char>(bytes[offset + i]);
  return value;
}

/// Whether the string object at `offset` holds a zero character. Objects
/// that do not fit are left to libplist, which refuses them itself.
bool stringObjectHoldsNul(std::string_view bytes, std::uint64_t offset) {
  if (offset >= bytes.size()) return false;
  const auto marker = static_cast<unsigned char>(bytes[offset]);
  const unsigned type = marker >> 4;
  if (type != 0x5 && type != 0x6) return false;
  const std::uint64_t unitSize = type == 0x5 ? 1 : 2;
  std::uint64_t count = marker & 0x0F;
  std::uint64_t start = offset + 1;
  if (count == 0x0F) {
    // The length follows as an integer object of 2^n bytes.
    if (start >= bytes.size()) return false;
    const auto lengthMarker = static_cast<unsigned char>(bytes[start]);
    if (lengthMarker >> 4 != 0x1) return false;
    const std::uint64_t lengthSize = std::uint64_t{1} << (lengthMarker & 0x0F);
    std::optional<std::uint64_t> length = bigEndian(bytes, start + 1, lengthSize);
    if (!length) return false;
    count = *length;
    start += 1 + lengthSize;
  }
  if (start > bytes.size() || count > (bytes.size() - start) / unitSize) return false;
  for (std::uint64_t unit = 0; unit < count; ++unit) {
    std::optional<std::uint64_t> value = bigEndian(bytes, start + unit * unitSize, unitSize);
    if (value && *value == 0) return true;
  }
  return false;
}

bool binaryHoldsNul(std::string_view bytes) {
  constexpr std::size_t trailerSize = 32;
  if (bytes.size() < 8 + trailerSize) return false;
  const std::size_t trailer = bytes.size() - trailerSize;
  const std::uint64_t offsetSize = static_cast<unsigned char>(bytes[trailer + 6]);
  std::optional<std::uint64_t> objects = bigEndian(bytes, trailer + 8, 8);
  std::optional<std::uint64_t> table = bigEndian(bytes, trailer + 24, 8);
  if (!objects || !table || offsetSize == 0 || offsetSize > 8 || *table > trailer ||
      *objects > (trailer - *table) / offsetSize) {
    return false;
  }
  for (std::uint64_t index = 0; index < *objects; ++index) {
    std::optional<std::uint64_t> offset = bigEndian(bytes, *table + index * offsetSize, offsetSize);
    if (offset && stringObjectHoldsNul(bytes, *offset)) return true;
  }
  return false;
}

/// A raw NUL byte, or a character reference to U+0000 ("&#0;", "&#x00;").
bool xmlHoldsNul(std::string_view text) {
  if (text.find('\0') != std::string_view::npos) return true;
  for (std::size_t at = text.find("&#"); at != std::string_view::npos;
       at = text.find("&#", at + 2)) {
    std::size_t digit = at + 2;
    if (digit < text.size() && (text[digit] == 'x' || text[digit] == 'X')) ++digit;
    std::size_t end = digit;
    while (end < text.size() && text[end] == '0') ++end;
    if (end > digit && end < text.size() && text[end] == ';') return true;
  }
  return false;
}

}  // namespace

bool holdsEmbeddedNul(std::string_view document) {
  if (document.substr(0, 6) == "bplist") return binaryHoldsNul(document);
  return xmlHoldsNul(document);
}

}  // namespace installer::host
