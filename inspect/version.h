#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace installer {

/// Four numbers, most significant first; missing groups are zero.
using VersionNumbers = std::array<std::uint64_t, 4>;

/// One to four groups of one to nine ASCII digits separated by single full
/// stops, and nothing else; nothing for any other string.
std::optional<VersionNumbers> versionNumbers(const std::string& version);

/// True when version `a` is older than version `b`.
bool lexicographicallyPrecedes(const VersionNumbers& a, const VersionNumbers& b);

}  // namespace installer
