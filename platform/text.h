#pragma once

#include <string>

namespace installer {

/// Unicode operations on UTF-8 text.
class Text {
 public:
  virtual ~Text() = default;
  /// Canonical composition (NFC).
  virtual std::string precomposed(const std::string& text) = 0;
  /// The Unicode default lower-case mapping, independent of locale.
  virtual std::string lowercased(const std::string& text) = 0;
};

}  // namespace installer
