#pragma once

#include <stdexcept>
#include <string>

namespace helpers {

/// A failed system call, already formatted as "operation path: reason".
class SystemFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// A path made safe for a one-line diagnostic: backslash, line feed, other
/// control characters (C1 included) and bytes that are no well-formed UTF-8
/// are escaped; everything else is kept.
std::string printablePath(const std::string& path);

/// "operation path: reason" for the errno value `error`.
std::string describeFailure(const std::string& operation, const std::string& path, int error);

/// Throws SystemFailure for `operation` on `path`; pass errno captured at once.
[[noreturn]] void throwSystemFailure(const std::string& operation, const std::string& path,
                                     int error);

}  // namespace helpers
