#pragma once

// What an alert looks like on the terminal. The layout is stable: end-to-end
// tests and anyone driving the installer read it.

#include <string>
#include <vector>

#include "platform/application.h"

namespace installer::host {

/// The title of the single button an alert without buttons shows.
inline constexpr const char* defaultButtonTitle = "好";

/// The buttons shown: the alert's own, or the platform's default one.
std::vector<AlertButton> shownButtons(const Alert& alert);

/// "\n== message ==\n[informative\n]\nButtons: [[first]] [second]\n".
/// Control characters other than tabs and line feeds in the texts (and line
/// feeds in titles) are shown as U+FFFD, so that no text can drive the terminal.
std::string alertScreenText(const Alert& alert);

/// `text` on one line, control characters shown as U+FFFD.
std::string oneLine(const std::string& text);

/// The line that follows the key, e.g. "-> Quit\n".
std::string answerLine(const std::string& buttonTitle);

}  // namespace installer::host
