#pragma once

// Faults from outside the installer: the installer bundle run under
// strace -f, which makes one invocation of one system call fail or kills the
// process making it, and the checks of what such a run may leave behind.
//
// A system call's invocations are counted per process (strace keeps one
// counter per traced process), so invocation N of a call means the N-th in
// every process the installer starts: the installer, its helpers and the
// browser it launches.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "browser_process.h"
#include "installer_run.h"
#include "sandbox.h"
#include "tree_snapshot.h"

namespace faults {

namespace fs = std::filesystem;

/// The runs that are swept.
enum class Scenario {
  freshInstallation,       ///< nothing installed yet
  updateWhileRunning,      ///< an older browser installed and running
  updateWhoseLaunchFails,  ///< the same, but the new browser cannot be started
};

const char* nameOf(Scenario scenario);

/// What strace does at the chosen invocation. A power cut is a crash at the
/// invocation followed at once by a cut of the volume (PowerCutVolume).
enum class Fault { kill, eio, enospc, eacces, powerCut };

const char* nameOf(Fault fault);
/// The --inject action: "signal=KILL", "error=EIO", ...
std::string injectionOf(Fault fault);

/// The system calls that change the file system or other processes, as strace
/// names them; openat counts only when it may write or create.
const std::vector<std::string>& sweptSystemCalls();

/// One place to inject: invocation `invocation` of `systemCall`.
struct InjectionPoint {
  std::string systemCall;
  int invocation = 0;
  bool operator==(const InjectionPoint&) const = default;
};

/// How a file system is made (the mkfs command line, the image follows) and
/// mounted: mount's type, a FUSE one (exfat-fuse, ntfs-3g) for the disks a
/// Linux desktop mounts through FUSE.
struct VolumeKind {
  std::string name;
  std::vector<std::string> make;
  std::string mountType;
};

/// A volume on a loop device, in a sparse image of its own. Needs root.
class LoopVolume {
 public:
  /// Makes and mounts the volume, `options` beside "loop"; throws
  /// HarnessError when it cannot (a tool or the kernel's file system missing).
  LoopVolume(const VolumeKind& kind, std::uintmax_t megabytes, std::string options = "");
  ~LoopVolume();
  LoopVolume(const LoopVolume&) = delete;
  LoopVolume& operator=(const LoopVolume&) = delete;

  const fs::path& mountPoint() const { return mountPoint_; }
  /// A folder off the volume, for what must outlive a cut (the traces).
  const fs::path& outside() const { return folder_; }
  /// Puts everything on the volume on the disk: a scenario's settled start.
  void flush() const;
  /// Unmounts, once nothing uses the volume any more, and mounts again.
  void mountAgain() const;
  /// The same, read-only from then on.
  void mountReadOnly();

 private:
  std::string mountType_;
  std::string options_;
  fs::path folder_;
  fs::path image_;
  fs::path mountPoint_;
};

/// An ext4 volume that holds a sweep's sandboxes, and its power: a cut stops
/// the file system where it stands without writing its journal (the
/// going-down ioctl that ext4 and XFS share, without log flush), so whatever
/// was not on the disk is lost as in a power failure; mounted again, the
/// journal is replayed. The journal commits every second instead of every
/// five, so that more of the states an update passes through reach the disk
/// ahead of a cut.
class PowerCutVolume : public LoopVolume {
 public:
  PowerCutVolume() : LoopVolume({"ext4", {"mkfs.ext4", "-q", "-F"}, "ext4"}, 320, "commit=1") {}
  /// Cuts the power; nothing written afterwards reaches the disk.
  void cut() const;
};

/// One sandbox staged for a scenario: an installed browser (unless fresh)
/// running from its destination, a new bundle, a data folder with content.
class StagedScenario {
 public:
  /// `resourceBytes` of resources in every bundle, so that unwritten data matters.
  StagedScenario(e2e::Sandbox& sandbox, Scenario scenario, std::size_t resourceBytes = 0);
  StagedScenario(const StagedScenario&) = delete;
  StagedScenario& operator=(const StagedScenario&) = delete;
  ~StagedScenario();

  Scenario scenario() const { return scenario_; }
  const fs::path& destination() const { return destination_; }
  const fs::path& installFolder() const { return installFolder_; }
  const fs::path& dataRoot() const { return dataRoot_; }
  const e2e::TreeSnapshot& dataBefore() const { return dataBefore_; }
  /// The command line; for the installation after a fault, with a new bundle
  /// that starts (the one of a failing launch cannot).
  std::vector<std::string> arguments(bool reinstall = false) const;
  e2e::Environment environment() const;
  /// The inode of the installed bundle before the run (fresh: none).
  std::optional<ino_t> oldBundle() const { return oldBundle_; }

 private:
  Scenario scenario_;
  fs::path destination_;
  fs::path installFolder_;
  fs::path source_;
  fs::path reinstallSource_;
  fs::path dataRoot_;
  e2e::TreeSnapshot dataBefore_;
  std::optional<ino_t> oldBundle_;
  std::optional<e2e::BrowserProcess> oldBrowser_;
};

/// What one run under strace did.
struct TracedRun {
  /// Exit status of the installer process itself, 128 + signal after one.
  std::optional<int> exitStatus;
  /// Whether strace reports the injection happening.
  bool injected = false;
  /// The descriptor of a write of the installer itself that the fault struck:
  /// what it was writing (an alert, the line on standard error) is missing.
  std::optional<int> failedWrite;
  /// Every alert's title and text, in order.
  std::vector<e2e::Alert> alerts;
  std::string standardError;
  /// The install folder's lock could be taken once the installer was gone.
  bool lockFree = false;
  std::string sandboxRoot;
  /// The trace file: one line per traced system call, prefixed by its pid.
  std::string trace;
};

/// Runs the installer of `staged` under strace, tracing `traced` and, when
/// given, injecting `fault` at `point`; answers every alert with Return. Once
/// the installer and the helpers it started are gone, checks the lock, then
/// ends whatever still runs from the sandbox (the launched browser). With a
/// `volume` the sandbox lies on it: its power is cut as soon as the crash
/// struck any process, or `cutAfter` after the installer ended by itself;
/// then every process ends and the volume is mounted again.
TracedRun runTraced(e2e::Sandbox& sandbox, const StagedScenario& staged,
                    const std::vector<std::string>& traced,
                    const std::optional<std::pair<InjectionPoint, Fault>>& injection,
                    const PowerCutVolume* volume = nullptr,
                    std::chrono::milliseconds cutAfter = std::chrono::milliseconds(0));

/// The injection points a reference run shows: for every swept call, each
/// invocation number some process reached (for openat, only the invocations
/// that open for writing or create).
std::vector<InjectionPoint> injectionPoints(const std::string& trace);

/// The invariant after any run, faulted or not, as a list of violations
/// (empty when it holds): at the destination the complete old bundle or the
/// complete new one (or nothing, for a fresh installation); the old bundle
/// exactly once, at the destination, in a staging folder or in the Trash; the
/// data folder as it was; the lock free.
std::vector<std::string> invariantViolations(const e2e::Sandbox& sandbox, const StagedScenario& staged,
                                             const TracedRun& run);

/// After a power cut: a run that ended with exit 0 said "done", so the new
/// bundle must be at the destination.
std::vector<std::string> doneViolations(const StagedScenario& staged, const TracedRun& run);

/// For a run that ended by itself: exit 0, or exit 1 after the failure alert
/// whose text is the one line on standard error; every staging folder left
/// is named by the last alert, unless the fault struck its removal (which
/// the clean-up does not report) and it does not hold the old bundle.
/// Violations as above.
std::vector<std::string> endingViolations(const StagedScenario& staged, const TracedRun& run,
                                          const InjectionPoint& point);

/// Runs the installer again, untraced, answering every alert with Return;
/// violations unless it installs the new bundle, exits 0 and leaves no
/// staging folder, its own or one the interrupted run left.
std::vector<std::string> reinstallViolations(e2e::Sandbox& sandbox, const StagedScenario& staged);

/// A short description of how `run` ended, for the report.
std::string outcomeOf(const TracedRun& run);

}  // namespace faults
