#include "helpers/system_failure.h"

#include <cstdio>
#include <cstring>

namespace helpers {

std::string printablePath(const std::string& path) {
  std::string printable;
  printable.reserve(path.size());
  for (unsigned char c : path) {
    if (c == '\\') {
      printable += "\\\\";
    } else if (c == '\n') {
      printable += "\\n";
    } else if (c < 0x20 || c == 0x7f) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      printable += escaped;
    } else {
      printable += static_cast<char>(c);
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
