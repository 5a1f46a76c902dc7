#include "platform/host/host_alert_layout.h"

namespace installer::host {
namespace {

constexpr const char* replacementCharacter = "\xEF\xBF\xBD";

/// `text` with C0 controls but tabs, DEL and C1 controls replaced; line
/// feeds kept only when `keepLineFeeds`.
std::string printable(const std::string& text, bool keepLineFeeds) {
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

}  // namespace

std::vector<AlertButton> shownButtons(const Alert& alert) {
  if (!alert.buttons.empty()) return alert.buttons;
  return {AlertButton{defaultButtonTitle, ""}};
}

std::string alertScreenText(const Alert& alert) {
  std::string text = "\n== " + printable(alert.messageText, true) + " ==\n";
  if (!alert.informativeText.empty()) text += printable(alert.informativeText, true) + "\n";
  text += "\nButtons:";
  bool first = true;
  for (const AlertButton& button : shownButtons(alert)) {
    std::string title = printable(button.title, false);
    text += first ? " [[" + title + "]]" : " [" + title + "]";
    first = false;
  }
  return text + "\n";
}

std::string oneLine(const std::string& text) { return printable(text, false); }

std::string answerLine(const std::string& buttonTitle) {
  return "-> " + oneLine(buttonTitle) + "\n";
}

}  // namespace installer::host
