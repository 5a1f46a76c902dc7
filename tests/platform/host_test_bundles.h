#pragma once

// Real bundles in a private temporary folder and real processes started
// from them, for the host backend's session tests.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/platform/host_test_folder.h"

namespace installer::host::testing {

/// An identifier no other process on the machine carries.
inline std::string uniqueIdentifier(const std::string& purpose) {
  static std::atomic<int> counter = 0;
  auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  return "test.qrvx.host." + purpose + "." + std::to_string(getpid()) + "." + std::to_string(now) +
         "." + std::to_string(counter++);
}

/// Writes B/Contents/Info.plist as XML text; an absent executable is left out.
inline void writeInfoPlist(const std::string& bundle, const std::string& identifier,
                           const std::optional<std::string>& executable) {
  std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
      "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
      "<plist version=\"1.0\">\n<dict>\n"
      "  <key>CFBundleIdentifier</key>\n  <string>" +
      identifier + "</string>\n";
  if (executable)
    text += "  <key>CFBundleExecutable</key>\n  <string>" + *executable + "</string>\n";
  text += "</dict>\n</plist>\n";
  std::filesystem::create_directories(bundle + "/Contents");
  fixtures::writeFile(bundle + "/Contents/Info.plist", text);
}

/// Copies an executable file to `to`, creating its folders.
inline void copyExecutable(const std::string& from, const std::string& to) {
  std::filesystem::create_directories(std::filesystem::path(to).parent_path());
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
  std::filesystem::permissions(to, std::filesystem::perms::owner_all);
}

/// A child process started by the test, killed and reaped at the latest on
/// destruction.
class ChildProcess {
 public:
  ChildProcess(const std::string& executable, const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(executable.c_str()));
    for (const std::string& argument : arguments)
      argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (posix_spawn(&pid_, executable.c_str(), &actions, nullptr, argv.data(), environ) != 0)
      pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~ChildProcess() {
    if (pid_ > 0 && !reaped_) {
      kill(pid_, SIGKILL);
      reap();
    }
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  int pid() const { return pid_; }
  /// Waits for the child; its wait status.
  int reap() {
    int status = 0;
    while (waitpid(pid_, &status, 0) == -1 && errno == EINTR) {
    }
    reaped_ = true;
    return status;
  }
  /// Waits until the child has exited, without reaping it.
  bool awaitExit(std::chrono::milliseconds limit) {
    siginfo_t info{};
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
      info.si_pid = 0;
      if (waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
          info.si_pid == pid_)
        return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
};

/// Polls `condition` every 5 ms for at most `limit`.
inline bool eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds limit = std::chrono::seconds(5)) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace installer::host::testing
