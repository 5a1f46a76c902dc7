#pragma once

#include <string>

namespace helpers {

/// Whether `text` is well-formed UTF-8, the only form a seal can record.
bool isWellFormedUtf8(const std::string& text);

}  // namespace helpers
