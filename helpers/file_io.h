#pragma once

#include <cstddef>
#include <limits>
#include <string>
#include <string_view>

namespace helpers {

/// Reads `fd` to its end, or until more than `largest` bytes are in: a
/// result longer than `largest` means the file is. Throws SystemFailure
/// naming `path` when a read fails.
std::string readAll(int fd, const std::string& path, std::size_t largest = std::numeric_limits<std::size_t>::max());

/// Writes every byte of `bytes`, resuming after short writes and signals.
/// Throws SystemFailure naming `path` when a write fails.
void writeAll(int fd, std::string_view bytes, const std::string& path);

}  // namespace helpers
