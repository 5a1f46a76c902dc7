#pragma once

#include <cstddef>
#include <string_view>

namespace installer {

/// The length of the well-formed UTF-8 sequence that starts at `at` (no
/// overlong form, surrogate or code point past U+10FFFF), or 0 when none does.
std::size_t wellFormedSequenceLength(std::string_view text, std::size_t at);

/// Whether `text` is well-formed UTF-8 throughout. Shared by the core, both
/// backends and the helpers.
bool isWellFormedUTF8(std::string_view text);

}  // namespace installer
