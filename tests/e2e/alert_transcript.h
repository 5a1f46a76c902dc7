#pragma once

// Alerts as the host shows them on the controlling terminal:
//
//   (empty line)
//   == <message text> ==
//   <informative text, possibly several lines>
//   (empty line)
//   Buttons: [[<default button>]] [<second>] ...

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace e2e {

struct Alert {
  std::string messageText;
  std::string informativeText;
  std::vector<std::string> buttons;
  /// The button shown as [[...]], if one is.
  std::optional<std::size_t> defaultButton;
  /// Everything the installer had written to standard error when the alert appeared.
  std::string standardErrorBefore;
};

struct AlertMatch {
  Alert alert;
  /// Where the text after the alert's button line begins.
  std::size_t end = 0;
};

/// The first alert in `terminal` (carriage returns already removed) at or
/// after `from` whose button line is complete: ended by a line feed, or by the
/// end of the text when `lineMayEndAtEnd`. Nothing while no button line is.
std::optional<AlertMatch> findAlert(std::string_view terminal, std::size_t from,
                                    bool lineMayEndAtEnd);

/// How many button lines `terminal` holds: the number of alerts it showed.
std::size_t countAlerts(std::string_view terminal);

}  // namespace e2e
