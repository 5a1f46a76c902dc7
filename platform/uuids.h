#pragma once

#include <string>

namespace installer {

class UUIDs {
 public:
  virtual ~UUIDs() = default;
  /// A new random UUID: 36 characters, upper-case hexadecimal, 8-4-4-4-12.
  virtual std::string newUUIDString() = 0;
};

}  // namespace installer
