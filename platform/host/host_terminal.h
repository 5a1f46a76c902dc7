#pragma once

// The controlling terminal as an alert uses it: written to, and read one
// key at a time with its settings restored afterwards.

#include <termios.h>

#include <functional>
#include <string>

namespace installer::host {

/// `elsewhere`: not a key, the other descriptor watched became readable.
enum class TerminalKey { returnKey, escape, other, closed, elsewhere };

class Terminal {
 public:
  /// Opens /dev/tty; `isOpen()` is false when the process has no
  /// controlling terminal or its settings cannot be read.
  Terminal();
  /// Restores the settings changed by `readSingleKeys` and closes the terminal.
  ~Terminal();
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  bool isOpen() const { return descriptor_ >= 0; }
  /// Switches to single keys without echo, discarding keys typed before.
  bool readSingleKeys();
  /// Writes all of `text`; false on an error.
  bool write(const std::string& text);
  /// Waits for the next key, calling `idle` about every 50 ms while none
  /// comes. Escape sequences (arrow keys, function keys, Alt with a key)
  /// are one `other` key; a read error or end of input is `closed`. Ends
  /// with `elsewhere` when `watched` (unless -1) is readable or hung up.
  TerminalKey nextKey(const std::function<void()>& idle, int watched = -1);

 private:
  /// The next byte, -1 when none came within `timeoutMilliseconds`, -2 when
  /// the terminal is closed or failed, -3 when `watched` is ready first.
  int nextByte(int timeoutMilliseconds, int watched = -1);
  TerminalKey afterEscape();

  int descriptor_ = -1;
  termios saved_{};
  bool changed_ = false;
};

}  // namespace installer::host
