#pragma once

// Alerts as windows on the Linux desktop, shown by the desktop dialog module
// (platform/host/dialog/), which is loaded the first time an alert finds a
// display named.

#include <functional>
#include <optional>
#include <string>

#include "platform/application.h"

namespace installer::host {

/// Shows `alert` as a modal dialog window titled with the installer bundle's
/// name, calling `idle` about every 50 ms while it waits. Answers which button ended it, -1001 when
/// the window was closed and no button answers Escape, or nothing when there
/// is no display (`WAYLAND_DISPLAY`, `DISPLAY`) or GTK does not start on it.
std::optional<long> runDesktopDialog(const Alert& alert, const std::function<void()>& idle);

}  // namespace installer::host
