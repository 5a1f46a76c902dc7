#include "inspect/version.h"

#include <algorithm>

namespace installer {

std::optional<VersionNumbers> versionNumbers(const std::string& version) {
  VersionNumbers numbers{0, 0, 0, 0};
  std::size_t count = 0;
  std::size_t start = 0;
  for (;;) {
    std::size_t stop = version.find('.', start);
    std::size_t end = stop == std::string::npos ? version.size() : stop;
    std::size_t length = end - start;
    if (count == numbers.size() || length < 1 || length > 9) return std::nullopt;
    std::uint64_t value = 0;
    for (std::size_t i = start; i < end; ++i) {
      char c = version[i];
      if (c < '0' || c > '9') return std::nullopt;
      value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    numbers[count++] = value;
    if (stop == std::string::npos) return numbers;
    start = stop + 1;
  }
}

bool lexicographicallyPrecedes(const VersionNumbers& a, const VersionNumbers& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end());
}

}  // namespace installer
