#pragma once

#include <stdexcept>
#include <string>

namespace installer {

/// An operating-system service failed. `what()` is the platform's own
/// description: the operation, the item it concerned and the system's reason.
class PlatformError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace installer
