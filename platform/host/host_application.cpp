#include "platform/host/host_alert_layout.h"
#include "platform/host/host_session.h"
#include "platform/host/host_terminal.h"

namespace installer::host {

HostApplication::HostApplication(HostRunLoop& runLoop) : runLoop_(runLoop) {}

// A terminal program has no Dock icon or menu bar to hide, and no window to
// bring forward: the alert appears where the installer was started.
void HostApplication::setAccessoryActivationPolicy() {}
void HostApplication::activate() {}

long HostApplication::runModal(const Alert& alert) {
  Terminal terminal;
  if (!terminal.isOpen()) return modalResponseAbort;
  if (!terminal.readSingleKeys() || !terminal.write(alertScreenText(alert)))
    return modalResponseAbort;
  std::vector<AlertButton> buttons = shownButtons(alert);
  for (;;) {
    // Blocks queued for the main thread keep running while the alert waits,
    // as they do in a modal session.
    TerminalKey key = terminal.nextKey([this] { runLoop_.runOnce(0); });
    size_t chosen = buttons.size();
    if (key == TerminalKey::closed) return modalResponseAbort;
    if (key == TerminalKey::returnKey) {
      chosen = 0;
    } else if (key == TerminalKey::escape && !alert.buttons.empty()) {
      for (size_t i = 0; i < buttons.size() && chosen == buttons.size(); ++i) {
        if (buttons[i].keyEquivalent == "\x1b") chosen = i;
      }
    }
    if (chosen == buttons.size()) continue;
    terminal.write(answerLine(buttons[chosen].title));
    return alertFirstButtonReturn + static_cast<long>(chosen);
  }
}

}  // namespace installer::host
