#pragma once

#include <string>
#include <vector>

namespace installer {

enum class AlertStyle { warning = 0, informational = 1, critical = 2 };

struct AlertButton {
  std::string title;
  /// Empty for none; "\x1b" makes the button answer the Escape key.
  std::string keyEquivalent;
};

/// One modal alert. Without buttons the platform shows its single default button.
struct Alert {
  std::string messageText;
  std::string informativeText;
  AlertStyle style = AlertStyle::warning;
  std::vector<AlertButton> buttons;
};

/// Alert answers: 1000 for the first button, 1001 for the second, and so on.
inline constexpr long alertFirstButtonReturn = 1000;
/// The answer of an alert that could not be shown to anyone (no button).
inline constexpr long modalResponseAbort = -1001;

/// The application object and its modal alerts.
class Application {
 public:
  virtual ~Application() = default;
  /// No Dock icon, no menu bar, windows allowed.
  virtual void setAccessoryActivationPolicy() = 0;
  /// Brings the application to the front, ignoring other applications.
  virtual void activate() = 0;
  /// Shows `alert` modally and answers which button ended it.
  virtual long runModal(const Alert& alert) = 0;
};

}  // namespace installer
