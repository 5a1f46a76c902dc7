#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common.h"
#include "spawn.h"

namespace e2e {

class Sandbox;

/// A browser the test started itself, the way a user opens an application:
/// the bundle's executable, no arguments, a new session, standard streams on
/// /dev/null, working directory "/", the sandbox's environment. Destruction
/// kills it (SIGKILL) if it still runs and reaps it.
class BrowserProcess {
 public:
  /// Starts `bundle`/Contents/MacOS/<CFBundleExecutable>; throws HarnessError
  /// when the Info.plist names no executable or the start fails.
  static BrowserProcess start(const Sandbox& sandbox, const std::filesystem::path& bundle,
                              const Environment& extraEnvironment = {});
  /// Starts another program the same way, e.g. a helper inside a bundle.
  static BrowserProcess startProgram(const Sandbox& sandbox, const std::filesystem::path& program,
                                     const std::vector<std::string>& arguments = {},
                                     const Environment& extraEnvironment = {});

  BrowserProcess(BrowserProcess&& other) noexcept;
  BrowserProcess& operator=(BrowserProcess&&) = delete;
  ~BrowserProcess();

  pid_t pid() const { return pid_; }
  /// Whether it has ended (reaping it when it has).
  bool hasEnded();
  /// Its exit status (128 + signal after a signal) once ended within `limit`.
  std::optional<int> waitForExit(std::chrono::milliseconds limit = waitLimit);
  void sendSignal(int signal) const;

 private:
  explicit BrowserProcess(pid_t pid) : pid_(pid) {}
  pid_t pid_ = -1;
  std::optional<int> exitStatus_;
};

}  // namespace e2e
