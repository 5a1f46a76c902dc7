#pragma once

#include <string>

namespace installer {

/// `text` with every control character but tabs (C0, DEL, C1) shown as
/// U+FFFD, and line feeds too unless `keepLineFeeds`, so that no text can
/// drive the terminal it is written to.
std::string withoutControls(const std::string& text, bool keepLineFeeds);

/// A path as a message shows it: line feeds and carriage returns in it are
/// written as "\n" and "\r", so that a name cannot pose as lines of the message.
std::string shownPath(const std::string& path);

}  // namespace installer
