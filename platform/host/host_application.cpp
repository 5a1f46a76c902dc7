#include "platform/host/host_alert_layout.h"
#include "platform/host/host_desktop_dialog.h"
#include "platform/host/host_session.h"
#include "platform/host/host_terminal.h"

namespace installer::host {

HostApplication::HostApplication(HostRunLoop& runLoop) : runLoop_(runLoop) {}

// The installer has no Dock icon or menu bar to hide; each dialog window
// comes to the front by itself, and a terminal alert appears where the
// installer was started.
void HostApplication::setAccessoryActivationPolicy() {}
void HostApplication::activate() {}

long HostApplication::runModal(const Alert& alert) {
  // Blocks queued for the main thread keep running while the alert waits,
  // as they do in a modal session.
  auto drainMainQueue = [this] { runLoop_.runOnce(0); };
  if (std::optional<long> answer = runDesktopDialog(alert, drainMainQueue))
    return *answer;
  Terminal terminal;
  if (!terminal.isOpen()) return modalResponseAbort;
  if (!terminal.readSingleKeys() || !terminal.write(alertScreenText(alert)))
    return modalResponseAbort;
  std::vector<AlertButton> buttons = shownButtons(alert);
  for (;;) {
    TerminalKey key = terminal.nextKey(drainMainQueue);
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
