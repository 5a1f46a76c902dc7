#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string_view>
#include <vector>

#include "spawn.h"

namespace e2e {

/// One test's private world: a fresh folder (its path free of symbolic links,
/// so the locations the installer prints are predictable) holding the HOME and
/// XDG folders every process of the test sees. Destruction kills every process
/// whose executable lies inside it, then removes the folder.
class Sandbox {
 public:
  /// Throws HarnessError when the folder cannot be made.
  Sandbox();
  /// The same, made inside `parent` instead of the temporary folder.
  explicit Sandbox(const std::filesystem::path& parent);
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  const std::filesystem::path& root() const { return root_; }
  /// `relative` inside the sandbox; nothing is created.
  std::filesystem::path path(std::string_view relative) const { return root_ / relative; }
  std::filesystem::path home() const { return root_ / "home"; }
  std::filesystem::path applicationsFolder() const { return home() / "Applications"; }
  std::filesystem::path dataHome() const { return root_ / "data"; }
  std::filesystem::path configHome() const { return root_ / "config"; }
  std::filesystem::path cacheHome() const { return root_ / "cache"; }
  std::filesystem::path runtimeDirectory() const { return root_ / "runtime"; }

  /// HOME, USER, LOGNAME, PATH, LANG=C.UTF-8 and the XDG folders: the whole
  /// environment of the processes a test starts.
  Environment environment() const;

  /// The processes of this user whose executable lies inside the sandbox.
  std::vector<pid_t> processesInside() const;
  /// SIGKILL to every process inside; waits (bounded) until each has ended
  /// (a zombie has).
  void killProcessesInside() const;

 private:
  std::filesystem::path root_;
};

}  // namespace e2e
