#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace installer {

/// U+FFFD in UTF-8: what a text shows where it has no character to show.
inline constexpr char replacementCharacter[] = "\xEF\xBF\xBD";

/// The length of the well-formed UTF-8 sequence that starts at `at` (no
/// overlong form, surrogate or code point past U+10FFFF), or 0 when none does.
std::size_t wellFormedSequenceLength(std::string_view text, std::size_t at);

/// Whether `text` is well-formed UTF-8 throughout. Shared by the core, both
/// backends and the helpers.
bool isWellFormedUTF8(std::string_view text);

/// `text` with every byte that starts no well-formed sequence shown as
/// U+FFFD, so that a message for a person is never lost to one bad byte.
std::string repairedUTF8(std::string_view text);

}  // namespace installer
