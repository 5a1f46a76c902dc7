#pragma once

// What the installer and its desktop dialog helper share: the helper's place
// in the bundle and the words of its one report line. Nothing else, so that
// the helper links GTK and the installer does not.

/// The helper, relative to the installer bundle.
inline constexpr const char* desktopDialogHelper = "Contents/Helpers/desktop-dialog";

/// Report lines: "answer N", "closed" or "error REASON".
inline constexpr const char* dialogAnswered = "answer ";
inline constexpr const char* dialogClosed = "closed";
inline constexpr const char* dialogFailed = "error ";
