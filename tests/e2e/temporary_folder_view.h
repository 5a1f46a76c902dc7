#pragma once

// The /tmp of an installer run, so that a scenario about build folders in /tmp
// sees and touches only what it made.
//
// Private (when mount namespaces are permitted, as for root): the installer
// runs in a mount namespace of its own in which the sandbox folder is bound
// over /tmp. Its /tmp then holds the sandbox's folders and the build folders
// a scenario makes there, all on one mount, so GIO's home trash (in the
// sandbox) takes them by rename; two bind mounts would not do, since rename
// never crosses mounts. The run sees every sandbox location under /tmp
// (HOME=/tmp/home, ...), and the kernel names the executables of the
// processes it starts that way too, so the sandbox cannot find them by path:
// this object ends the processes left in the namespaces it holds.
//
// Shared (otherwise, or with E2E_SHARED_TMP=1 in the test's environment): the
// real /tmp. Build folders get unique names, only those are made and later
// removed, and the scenario must be skipped while /tmp holds build folders
// the test did not make, which the installer would take for old copies.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "spawn.h"

namespace e2e {

class InstallerRun;
class Sandbox;

class TemporaryFolderView {
 public:
  /// Throws HarnessError when the private launcher cannot be made.
  explicit TemporaryFolderView(const Sandbox& sandbox);
  /// Ends every process of the held namespaces; removes shared build folders.
  ~TemporaryFolderView();
  TemporaryFolderView(const TemporaryFolderView&) = delete;
  TemporaryFolderView& operator=(const TemporaryFolderView&) = delete;

  bool isPrivate() const { return isPrivate_; }
  /// Why build folders cannot be staged here, when they cannot.
  const std::optional<std::string>& unusableReason() const { return unusableReason_; }

  /// Where `location` (inside the sandbox) lies as the installer sees it.
  std::filesystem::path seen(const std::filesystem::path& location) const;
  /// Where the test makes the /tmp entry named `name` (shared: made unique
  /// after its build-folder prefix); nothing exists there yet.
  std::filesystem::path entry(std::string_view name);
  /// That entry as the installer sees it.
  std::filesystem::path seenEntry(const std::filesystem::path& entry) const;

  /// The installer bundle to run and the environment to add to the sandbox's.
  std::filesystem::path installerBundle() const;
  Environment environment() const;

  /// Keeps the namespace of `run` (waiting at an alert, so inside it) alive
  /// and noted, so that what it leaves running can be ended. Throws
  /// HarnessError when the run is not in a namespace of its own.
  void holdNamespaceOf(const InstallerRun& run);

 private:
  std::filesystem::path root_;
  bool isPrivate_ = false;
  std::optional<std::string> unusableReason_;
  std::filesystem::path launcher_;
  std::string token_;
  std::vector<std::filesystem::path> sharedEntries_;
  std::vector<int> namespaces_;
  Environment environment_;
};

}  // namespace e2e
