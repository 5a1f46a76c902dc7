#include <poll.h>

#include <cerrno>

#include "platform/host/host.h"
#include "platform/host/host_alert_layout.h"
#include "platform/host/host_desktop_dialog.h"
#include "platform/host/host_session.h"
#include "platform/host/host_terminal.h"

namespace installer::host {
namespace {

constexpr int idleSliceMilliseconds = 50;

/// Calls `idle` about every 50 ms until `descriptor` is readable or hung up.
void waitUntilReadable(int descriptor, const std::function<void()>& idle) {
  for (;;) {
    idle();
    pollfd watched{descriptor, POLLIN, 0};
    int ready = poll(&watched, 1, idleSliceMilliseconds);
    if (ready > 0 || (ready < 0 && errno != EINTR)) return;
  }
}

/// The button of `buttons` that `key` answers, if any.
std::optional<std::size_t> buttonOfKey(TerminalKey key, const Alert& alert,
                                       const std::vector<AlertButton>& buttons) {
  if (key == TerminalKey::returnKey) return 0;
  if (key != TerminalKey::escape || alert.buttons.empty()) return std::nullopt;
  for (std::size_t i = 0; i < buttons.size(); ++i)
    if (buttons[i].keyEquivalent == "\x1b") return i;
  return std::nullopt;
}

}  // namespace

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
  // Both at once: a terminal whose display the user cannot see, or a window
  // on a display that goes away, still leaves the other to answer in.
  DesktopDialog dialog(alert);
  Terminal terminal;
  bool onTerminal =
      terminal.isOpen() && terminal.readSingleKeys() && terminal.write(alertScreenText(alert));
  const std::vector<AlertButton> buttons = shownButtons(alert);
  while (onTerminal || dialog.isOpen()) {
    if (!onTerminal) {
      waitUntilReadable(dialog.descriptor(), drainMainQueue);
      if (std::optional<long> answer = dialog.collect()) return *answer;
      continue;
    }
    TerminalKey key = terminal.nextKey(drainMainQueue, dialog.descriptor());
    if (key == TerminalKey::closed) {
      onTerminal = false;
    } else if (key == TerminalKey::elsewhere) {
      if (std::optional<long> answer = dialog.collect()) {
        const long chosen = *answer - alertFirstButtonReturn;
        if (chosen >= 0)
          terminal.write(answerLine(buttons[static_cast<std::size_t>(chosen)].title));
        return *answer;
      }
    } else if (std::optional<std::size_t> chosen = buttonOfKey(key, alert, buttons)) {
      terminal.write(answerLine(buttons[*chosen].title));
      return alertFirstButtonReturn + static_cast<long>(*chosen);
    }
  }
  // A declined confirmation is never silent where a display was named.
  if (!dialog.failure().empty()) {
    HostPosix().writeStandardError(dialog.failure() + "; with no terminal either, the alert \"" +
                                   oneLine(alert.messageText) + "\" went unanswered.\n");
  }
  return modalResponseAbort;
}

}  // namespace installer::host
