#pragma once

// The boundary of the desktop dialog module, a shared object of its own in
// the installer bundle's Contents/Frameworks: GTK and libadwaita bring some
// seventy libraries whose loading would otherwise slow every start of the
// installer, with or without a display. Plain C types only, so the module
// shares nothing with the installer but this.

#include <cstddef>

extern "C" {

struct QrvxDialogRequest {
  const char* windowTitle;
  const char* heading;
  const char* body;  ///< empty for none
  const char* iconName;
  const char* const* buttons;  ///< titles in order; the first is the default
  std::size_t buttonCount;
  /// The button that Escape and closing the window answer; -1 for none.
  long closeButton;
  /// Called about every 50 ms while the dialog waits.
  void (*idle)(void* context);
  void* idleContext;
};

/// The index of the button that ended the dialog; -1 when it was closed with
/// no close button; -2 when GTK does not start on the display.
long qrvxRunDesktopDialog(const QrvxDialogRequest* request);

}

inline constexpr const char* desktopDialogEntryPoint = "qrvxRunDesktopDialog";
