#include "helpers/system_failure.h"

#include <unicode/utf8.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace helpers {

std::string printablePath(const std::string& path) {
  auto escapeByte = [](std::string& into, unsigned char byte) {
    char escaped[5];
    std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
    into += escaped;
  };
  std::string printable;
  printable.reserve(path.size());
  const auto* bytes = reinterpret_cast<const uint8_t*>(path.data());
  const auto length = static_cast<int32_t>(std::min<size_t>(path.size(), INT32_MAX));
  for (int32_t index = 0; index < length;) {
    const int32_t start = index;
    UChar32 character = 0;
    U8_NEXT(bytes, index, length, character);
    if (character == '\\') {
      printable += "\\\\";
    } else if (character == '\n') {
      printable += "\\n";
    } else if (character < 0x20 || (character >= 0x7f && character <= 0x9f)) {
      // Controls, C1 ones included, and bytes that are no UTF-8 (negative):
      // a terminal may act on any of them.
      for (int32_t byte = start; byte < index; ++byte) escapeByte(printable, bytes[byte]);
    } else {
      printable.append(path, static_cast<size_t>(start), static_cast<size_t>(index - start));
    }
  }
  return printable;
}

std::string describeFailure(const std::string& operation, const std::string& path, int error) {
  return operation + " " + printablePath(path) + ": " + std::strerror(error);
}

void throwSystemFailure(const std::string& operation, const std::string& path, int error) {
  throw SystemFailure(describeFailure(operation, path, error));
}

}  // namespace helpers
