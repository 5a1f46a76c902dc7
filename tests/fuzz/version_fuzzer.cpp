// Version strings as a bundle's Info.plist may hold them.

#include <algorithm>
#include <cstdlib>

#include "inspect/version.h"
#include "tests/fuzz/fuzz_platform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace installer;
  const std::string text = fuzzing::textOf(data, size);
  const std::optional<VersionNumbers> numbers = versionNumbers(text);
  if (!numbers) return 0;
  // Only digits and full stops make a version, nine digits at most a group.
  if (text.find_first_not_of("0123456789.") != std::string::npos) std::abort();
  for (std::uint64_t number : *numbers) {
    if (number > 999'999'999) std::abort();
  }
  // An order: no version precedes itself, and a version with a trailing
  // ".0" group names the same one.
  if (lexicographicallyPrecedes(*numbers, *numbers)) std::abort();
  if (std::count(text.begin(), text.end(), '.') < 3) {
    const std::optional<VersionNumbers> padded = versionNumbers(text + ".0");
    if (!padded || *padded != *numbers) std::abort();
  }
  return 0;
}
