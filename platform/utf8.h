#pragma once

#include <string_view>

namespace installer {

/// Whether `text` is well-formed UTF-8: no overlong forms, surrogates or code
/// points past U+10FFFF. Shared by the core, the host backend and the helpers.
bool isWellFormedUTF8(std::string_view text);

}  // namespace installer
