#include "platform/terminal_text.h"

#include "platform/utf8.h"

namespace installer {

std::string withoutControls(const std::string& text, bool keepLineFeeds) {
  std::string shown;
  shown.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    bool isC1 = c == 0xC2 && i + 1 < text.size() &&
                static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                static_cast<unsigned char>(text[i + 1]) <= 0x9F;
    if ((c == '\n' && keepLineFeeds) || c == '\t') {
      shown += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      shown += replacementCharacter;
    } else if (isC1) {
      shown += replacementCharacter;
      ++i;
    } else {
      shown += static_cast<char>(c);
    }
  }
  return shown;
}

std::string shownPath(const std::string& path) {
  std::string shown;
  shown.reserve(path.size());
  for (char c : path) {
    if (c == '\n') {
      shown += "\\n";
    } else if (c == '\r') {
      shown += "\\r";
    } else {
      shown += c;
    }
  }
  return shown;
}

}  // namespace installer
