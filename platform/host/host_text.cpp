#include <unicode/unorm2.h>
#include <unicode/ustring.h>

#include <climits>
#include <optional>
#include <string>

#include "platform/host/host.h"

namespace installer::host {
namespace {

std::optional<std::u16string> utf16OfUTF8(const std::string& text) {
  if (text.size() > INT32_MAX) return std::nullopt;
  UErrorCode status = U_ZERO_ERROR;
  int32_t length = 0;
  u_strFromUTF8(nullptr, 0, &length, text.data(), static_cast<int32_t>(text.size()), &status);
  if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) return std::nullopt;
  std::u16string result(static_cast<std::size_t>(length), u'\0');
  status = U_ZERO_ERROR;
  u_strFromUTF8(result.data(), length, nullptr, text.data(), static_cast<int32_t>(text.size()),
                &status);
  if (U_FAILURE(status)) return std::nullopt;
  return result;
}

std::optional<std::string> utf8OfUTF16(const std::u16string& text) {
  UErrorCode status = U_ZERO_ERROR;
  int32_t length = 0;
  u_strToUTF8(nullptr, 0, &length, text.data(), static_cast<int32_t>(text.size()), &status);
  if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) return std::nullopt;
  std::string result(static_cast<std::size_t>(length), '\0');
  status = U_ZERO_ERROR;
  u_strToUTF8(result.data(), length, nullptr, text.data(), static_cast<int32_t>(text.size()),
              &status);
  if (U_FAILURE(status)) return std::nullopt;
  return result;
}

/// Runs an ICU transformation with the usual measure-then-fill protocol.
template <typename Transform>
std::optional<std::u16string> transformed(const std::u16string& source, Transform transform) {
  UErrorCode status = U_ZERO_ERROR;
  int32_t length = transform(nullptr, 0, source, &status);
  if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) return std::nullopt;
  std::u16string result(static_cast<std::size_t>(length), u'\0');
  status = U_ZERO_ERROR;
  transform(result.data(), length, source, &status);
  if (U_FAILURE(status)) return std::nullopt;
  return result;
}

/// `text` through `transform` when it is valid UTF-8; otherwise unchanged,
/// since a Linux path may hold any bytes and must still round-trip.
template <typename Transform>
std::string transformedUTF8(const std::string& text, Transform transform) {
  std::optional<std::u16string> source = utf16OfUTF8(text);
  if (!source) return text;
  std::optional<std::u16string> result = transformed(*source, transform);
  if (!result) return text;
  return utf8OfUTF16(*result).value_or(text);
}

}  // namespace

std::string HostText::precomposed(const std::string& text) {
  return transformedUTF8(text, [](UChar* destination, int32_t capacity,
                                  const std::u16string& source, UErrorCode* status) {
    const UNormalizer2* composition = unorm2_getNFCInstance(status);
    if (U_FAILURE(*status)) return 0;
    return unorm2_normalize(composition, source.data(), static_cast<int32_t>(source.size()),
                            destination, capacity, status);
  });
}

std::string HostText::lowercased(const std::string& text) {
  return transformedUTF8(text, [](UChar* destination, int32_t capacity,
                                  const std::u16string& source, UErrorCode* status) {
    // The root locale gives the default mapping, without Turkish or
    // Lithuanian special cases.
    return u_strToLower(destination, capacity, source.data(), static_cast<int32_t>(source.size()),
                        "", status);
  });
}

}  // namespace installer::host
