#pragma once

// Alerts as windows on the Linux desktop, each shown by a process of its own,
// the desktop dialog helper in the installer bundle
// (platform/host/dialog/), so that the installer never loads GTK.

#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>

#include "platform/application.h"

namespace installer::host {

/// One alert in a dialog window titled with the installer bundle's name.
/// The helper is ended, and its window with it, when this is destroyed.
class DesktopDialog {
 public:
  /// Starts the helper for `alert` when a display is named
  /// (`WAYLAND_DISPLAY`, `DISPLAY`); otherwise does nothing.
  explicit DesktopDialog(const Alert& alert);
  ~DesktopDialog();
  DesktopDialog(const DesktopDialog&) = delete;
  DesktopDialog& operator=(const DesktopDialog&) = delete;

  /// The helper runs and has not reported yet.
  bool isOpen() const { return report_ >= 0; }
  /// Readable once the helper has reported or ended; -1 when not open.
  int descriptor() const { return report_; }
  /// Once `descriptor()` is readable: which button ended the dialog, -1001
  /// when the window was closed and no button answers Escape, or nothing
  /// when no dialog could be shown (see `failure()`). Closes the dialog.
  std::optional<long> collect();
  /// Why no dialog could be shown, as one line naming the display; empty
  /// when no display is named or no failure is known yet.
  const std::string& failure() const { return failure_; }

 private:
  void fail(const std::string& reason);
  /// Ends the helper if it still runs and reaps it; its wait status.
  int end();

  std::string displays_;
  std::size_t buttonCount_ = 0;
  pid_t helper_ = -1;
  int report_ = -1;
  std::string failure_;
};

}  // namespace installer::host
