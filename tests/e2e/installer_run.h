#pragma once

#include <sys/types.h>
#include <termios.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "alert_transcript.h"
#include "spawn.h"

namespace e2e {

class Sandbox;

struct RunOptions {
  std::vector<std::string> arguments;
  /// With a pseudo-terminal as controlling terminal (alerts shown), or in a
  /// session of its own without any terminal and standard input on /dev/null.
  bool controllingTerminal = true;
  /// Added to the sandbox's environment (QRVX_DATA_ROOT, ...).
  Environment extraEnvironment{};
  /// The installer bundle to run; the build's when absent.
  std::optional<std::filesystem::path> installerBundle{};
  /// The sandbox root when absent.
  std::optional<std::filesystem::path> workingDirectory{};
  /// A program (absolute path) and its arguments that run the installer as
  /// their last arguments, a tracer say; the installer runs directly when empty.
  std::vector<std::string> launcher{};
};

struct RunResult {
  int exitStatus = -1;  ///< 128 + signal when a signal ended it
  std::string standardOutput;
  std::string standardError;
  /// What the terminal showed, carriage returns removed.
  std::string terminal;
  /// The terminal's modes after the run equal those before it.
  bool terminalRestored = true;
};

/// One run of the installer, its standard output and standard error on pipes
/// of their own, apart from the terminal. Every wait is bounded by waitLimit
/// and throws HarnessError showing the terminal and standard error so far.
/// Destruction kills the installer's whole session if it still runs.
class InstallerRun {
 public:
  static InstallerRun start(const Sandbox& sandbox, RunOptions options);

  InstallerRun(InstallerRun&& other) noexcept;
  InstallerRun& operator=(InstallerRun&&) = delete;
  ~InstallerRun();

  pid_t pid() const { return pid_; }

  /// The next alert, once its button line is on the terminal and the terminal
  /// has left canonical mode to read a key.
  Alert waitForAlert();
  /// The next alert if one waits for a key within `limit`; nothing when none
  /// does, also when the process has ended meanwhile.
  std::optional<Alert> alertWithin(std::chrono::milliseconds limit);
  /// Whether the process started has ended (it is reaped then).
  bool hasEnded() { return reapIfEnded(); }
  /// Types `keys` on the terminal.
  void press(std::string_view keys);
  /// Waits for the end and collects everything the installer wrote.
  RunResult finish();

  const std::string& terminalSoFar();
  const std::string& standardErrorSoFar();

 private:
  InstallerRun() = default;
  /// Reads whatever arrives within `wait`.
  void pump(int waitMilliseconds);
  bool reapIfEnded();
  bool readingKeys() const;
  /// The alert waiting for a key on the screen, if there is one now.
  std::optional<Alert> takeWaitingAlert();
  std::string transcript() const;

  pid_t pid_ = -1;
  std::optional<int> exitStatus_;
  UniqueFd terminal_;
  UniqueFd output_;
  UniqueFd errors_;
  std::string screen_;
  std::string standardOutput_;
  std::string standardError_;
  std::size_t consumed_ = 0;
  termios initialModes_{};
  bool terminalOpen_ = false;
  bool outputOpen_ = true;
  bool errorsOpen_ = true;
};

}  // namespace e2e
