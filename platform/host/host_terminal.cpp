#include "platform/host/host_terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace installer::host {
namespace {

constexpr int idleSliceMilliseconds = 50;
// A terminal sends the rest of an escape sequence together with its Escape;
// a gap this long means the Escape key itself was pressed.
constexpr int sequenceGapMilliseconds = 30;

constexpr int noByte = -1;
constexpr int closedTerminal = -2;
constexpr int watchedReady = -3;

}  // namespace

Terminal::Terminal() {
  descriptor_ = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (descriptor_ >= 0 && tcgetattr(descriptor_, &saved_) != 0) {
    close(descriptor_);
    descriptor_ = -1;
  }
}

Terminal::~Terminal() {
  if (descriptor_ < 0) return;
  if (changed_) tcsetattr(descriptor_, TCSANOW, &saved_);
  close(descriptor_);
}

bool Terminal::readSingleKeys() {
  termios keys = saved_;
  // Without ISIG an interrupt key is just another ignored key: an installer
  // killed from its own alert would leave the terminal raw and, during the
  // final report, its staging directory behind.
  keys.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG);
  keys.c_cc[VMIN] = 1;
  keys.c_cc[VTIME] = 0;
  // Set before the alert is shown, so that nothing typed earlier answers it.
  if (tcsetattr(descriptor_, TCSAFLUSH, &keys) != 0) return false;
  changed_ = true;
  return true;
}

bool Terminal::write(const std::string& text) {
  size_t written = 0;
  while (written < text.size()) {
    ssize_t count = ::write(descriptor_, text.data() + written, text.size() - written);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return false;
    written += static_cast<size_t>(count);
  }
  return true;
}

int Terminal::nextByte(int timeoutMilliseconds, int watched) {
  pollfd descriptors[] = {{descriptor_, POLLIN, 0}, {watched, POLLIN, 0}};
  int ready = poll(descriptors, watched >= 0 ? 2 : 1, timeoutMilliseconds);
  if (ready < 0) return errno == EINTR ? noByte : closedTerminal;
  if (ready == 0) return noByte;
  if (descriptors[1].revents) return watchedReady;
  if (descriptors[0].revents & POLLNVAL) return closedTerminal;
  unsigned char byte = 0;
  ssize_t count = read(descriptor_, &byte, 1);
  if (count == 1) return byte;
  if (count < 0 && (errno == EINTR || errno == EAGAIN)) return noByte;
  return closedTerminal;
}

TerminalKey Terminal::nextKey(const std::function<void()>& idle, int watched) {
  for (;;) {
    idle();
    int byte = nextByte(idleSliceMilliseconds, watched);
    if (byte == noByte) continue;
    if (byte == watchedReady) return TerminalKey::elsewhere;
    if (byte == closedTerminal) return TerminalKey::closed;
    if (byte == '\r' || byte == '\n') return TerminalKey::returnKey;
    if (byte == 0x1b) return afterEscape();
    return TerminalKey::other;
  }
}

TerminalKey Terminal::afterEscape() {
  int byte = nextByte(sequenceGapMilliseconds);
  if (byte == noByte) return TerminalKey::escape;
  if (byte == closedTerminal) return TerminalKey::closed;
  if (byte == '[') {
    // Control sequence: parameter and intermediate bytes up to a final byte.
    for (;;) {
      byte = nextByte(sequenceGapMilliseconds);
      if (byte == closedTerminal) return TerminalKey::closed;
      if (byte == noByte || (byte >= 0x40 && byte <= 0x7e)) return TerminalKey::other;
    }
  }
  if (byte == 'O') {
    // Single shift: one more byte names the key.
    if (nextByte(sequenceGapMilliseconds) == closedTerminal) return TerminalKey::closed;
  }
  // Otherwise Alt with a key.
  return TerminalKey::other;
}

}  // namespace installer::host
