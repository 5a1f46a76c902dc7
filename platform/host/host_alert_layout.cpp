#include "platform/host/host_alert_layout.h"

#include "platform/terminal_text.h"

namespace installer::host {

std::vector<AlertButton> shownButtons(const Alert& alert) {
  if (!alert.buttons.empty()) return alert.buttons;
  return {AlertButton{defaultButtonTitle, ""}};
}

std::string alertScreenText(const Alert& alert) {
  std::string text = "\n== " + withoutControls(alert.messageText, true) + " ==\n";
  if (!alert.informativeText.empty()) text += withoutControls(alert.informativeText, true) + "\n";
  text += "\nButtons:";
  bool first = true;
  for (const AlertButton& button : shownButtons(alert)) {
    std::string title = withoutControls(button.title, false);
    text += first ? " [[" + title + "]]" : " [" + title + "]";
    first = false;
  }
  return text + "\n";
}

std::string oneLine(const std::string& text) { return withoutControls(text, false); }

std::string answerLine(const std::string& buttonTitle) {
  return "-> " + oneLine(buttonTitle) + "\n";
}

}  // namespace installer::host
