#include <unicode/bytestream.h>
#include <unicode/casemap.h>
#include <unicode/normalizer2.h>
#include <unicode/stringpiece.h>

#include <climits>
#include <string>

#include "platform/host/host.h"
#include "platform/utf8.h"

namespace installer {
namespace {

/// `text` through `transform` (UTF-8 in, UTF-8 out) when it is valid UTF-8;
/// otherwise unchanged, since a Linux path may hold any bytes and must still
/// round-trip.
template <typename Transform>
std::string transformedUTF8(const std::string& text, Transform transform) {
  if (text.size() > INT32_MAX || !isWellFormedUTF8(text)) return text;
  std::string result;
  icu::StringByteSink<std::string> sink(&result);
  UErrorCode status = U_ZERO_ERROR;
  transform(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())), sink, status);
  return U_SUCCESS(status) ? result : text;
}

}  // namespace

std::string SystemText::precomposed(const std::string& text) {
  return transformedUTF8(
      text, [](icu::StringPiece source, icu::ByteSink& sink, UErrorCode& status) {
        const icu::Normalizer2* composition = icu::Normalizer2::getNFCInstance(status);
        if (U_SUCCESS(status)) composition->normalizeUTF8(0, source, sink, nullptr, status);
      });
}

std::string SystemText::lowercased(const std::string& text) {
  return transformedUTF8(text,
                         [](icu::StringPiece source, icu::ByteSink& sink, UErrorCode& status) {
                           // The root locale gives the default mapping, without Turkish or
                           // Lithuanian special cases.
                           icu::CaseMap::utf8ToLower("", 0, source, sink, nullptr, status);
                         });
}

}  // namespace installer
