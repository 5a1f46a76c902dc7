#include "fault_sweep.h"

#include <fcntl.h>
#include <linux/types.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "browser_process.h"
#include "bundle_factory.h"
#include "common.h"
#include "installation_steps.h"
#include "tree_snapshot.h"

namespace faults {

using e2e::HarnessError;

namespace {

std::string joined(const std::vector<std::string>& items, const char* separator) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : separator) + item;
  return text;
}

constexpr const char* failureTitle = "无法安装Quorvane浏览器";
constexpr std::chrono::seconds runLimit{120};

// The going-down ioctl of ext4 (linux/ext4.h, not among the kernel headers
// Debian ships), and its flag that drops the journal's pending commits.
constexpr unsigned long goingDownRequest = _IOR('X', 125, __u32);
constexpr __u32 goingDownWithoutLogFlush = 2;

fs::path systemProgram(const std::string& name) {
  for (const char* folder : {"/usr/sbin", "/sbin", "/usr/bin", "/bin", "/usr/local/bin"}) {
    fs::path candidate = fs::path(folder) / name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  throw HarnessError(name + " is not installed");
}

void runSystemProgram(const std::string& name, const std::vector<std::string>& arguments) {
  e2e::ToolResult result = e2e::runTool(systemProgram(name), arguments, e2e::toolEnvironment());
  if (result.exitStatus != 0)
    throw HarnessError(name + " " + joined(arguments, " ") + ": exit " +
                       std::to_string(result.exitStatus) + ": " + result.standardError);
}

/// A descriptor of `folder` for one ioctl or flush; throws naming `what`.
template <typename Action>
void onFolder(const fs::path& folder, const char* what, Action action) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  int error = fd < 0 ? errno : (action(fd) != 0 ? errno : 0);
  if (fd >= 0) ::close(fd);
  if (error != 0)
    throw HarnessError(std::string(what) + " " + folder.string() + ": " + std::strerror(error));
}

/// The child of `parent` that runs `program`, once one does: strace starts
/// short-lived children of its own to probe the kernel before the command.
std::optional<pid_t> childRunning(pid_t parent, const fs::path& program) {
  std::optional<pid_t> found;
  std::string path = "/proc/" + std::to_string(parent) + "/task/" + std::to_string(parent) + "/children";
  e2e::waitUntil(
      [&] {
        std::string children;
        try {
          children = e2e::readFile(path);
        } catch (const HarnessError&) {
          return true;  // the parent is gone: nothing to wait for
        }
        std::istringstream list(children);
        pid_t pid = 0;
        while (list >> pid) {
          std::error_code error;
          if (fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", error) == program) {
            found = pid;
            return true;
          }
        }
        return false;
      },
      std::chrono::seconds(10));
  return found;
}

/// The processes of session `session` other than its leader.
std::vector<pid_t> sessionMembers(pid_t session) {
  std::vector<pid_t> members;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    pid_t pid = static_cast<pid_t>(std::stol(name));
    if (pid == session || !e2e::processIsAlive(pid)) continue;
    std::string stat;
    try {
      stat = e2e::readFile(entry.path() / "stat");
    } catch (const HarnessError&) {
      continue;
    }
    // pid (comm) state ppid pgrp session ...
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string state;
    long parent = 0, group = 0, sessionOf = 0;
    fields >> state >> parent >> group >> sessionOf;
    if (sessionOf == session) members.push_back(pid);
  }
  return members;
}

bool lockIsFree(const fs::path& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return true;  // no folder, no lock
  bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  ::close(fd);
  return free;
}

/// One line of an strace -f trace: "PID name(arguments..." or a line about a
/// process ending ("PID +++ exited with N +++").
struct TraceLine {
  pid_t pid = 0;
  std::string rest;
};

std::vector<TraceLine> traceLines(const std::string& trace) {
  std::vector<TraceLine> lines;
  std::istringstream stream(trace);
  std::string line;
  while (std::getline(stream, line)) {
    TraceLine parsed;
    auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), parsed.pid);
    if (error != std::errc()) continue;
    parsed.rest = std::string(end, static_cast<const char*>(line.data() + line.size()));
    parsed.rest.erase(0, parsed.rest.find_first_not_of(' '));
    lines.push_back(std::move(parsed));
  }
  return lines;
}

/// The system call a line begins, empty for a resumption or a process event.
std::string callOf(const std::string& rest) {
  auto open = rest.find('(');
  if (open == std::string::npos || rest.starts_with("<...") || rest.starts_with("+++") ||
      rest.starts_with("---"))
    return "";
  return rest.substr(0, open);
}

bool opensForWriting(const std::string& rest) {
  return rest.find("O_WRONLY") != std::string::npos || rest.find("O_RDWR") != std::string::npos ||
         rest.find("O_CREAT") != std::string::npos;
}

std::optional<std::string> versionOf(const fs::path& bundle) {
  return e2e::infoString(bundle, "CFBundleShortVersionString");
}

bool isCompleteNewBundle(const fs::path& bundle) {
  return versionOf(bundle) == std::optional<std::string>(PROJECT_VERSION) && e2e::bundleVerifies(bundle);
}

/// Where the old bundle may be: the destination, inside a staging folder,
/// in the Trash.
std::vector<fs::path> placesOfBundles(const e2e::Sandbox& sandbox, const StagedScenario& staged) {
  std::vector<fs::path> places{staged.destination()};
  for (const fs::path& staging : e2e::stagingFolders(staged.installFolder())) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(staging, error)) places.push_back(entry.path());
  }
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(sandbox.dataHome() / "Trash/files", error))
    places.push_back(entry.path());
  return places;
}

std::optional<ino_t> directoryInode(const fs::path& path) {
  struct stat status;
  if (::lstat(path.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) return std::nullopt;
  return status.st_ino;
}

/// Answers every alert with Return until the run ends, or `ended` says the
/// process that matters has; the alerts in order.
std::vector<e2e::Alert> answerEveryAlert(e2e::InstallerRun& run,
                                         const std::function<bool()>& ended = [] { return false; }) {
  std::vector<e2e::Alert> alerts;
  auto deadline = std::chrono::steady_clock::now() + runLimit;
  while (!ended() && !run.hasEnded()) {
    if (std::chrono::steady_clock::now() > deadline)
      throw HarnessError("the installer did not end within " + std::to_string(runLimit.count()) + " s");
    if (std::optional<e2e::Alert> alert = run.alertWithin(std::chrono::milliseconds(50))) {
      alerts.push_back(*alert);
      run.press(e2e::returnKey);
    }
  }
  return alerts;
}

/// Bytes that no file system stores as holes or shares between files.
std::string resourceData(std::size_t size) {
  std::string data(size, '\0');
  std::uint64_t state = 0x9E3779B97F4A7C15u;
  for (char& byte : data) {
    state ^= state << 13, state ^= state >> 7, state ^= state << 17;
    byte = static_cast<char>(state);
  }
  return data;
}

/// Whether a process of the trace was killed: the crash struck.
bool crashStruck(const fs::path& traceFile) {
  std::error_code error;
  if (!fs::exists(traceFile, error)) return false;
  return e2e::readFile(traceFile).find("+++ killed by SIGKILL") != std::string::npos;
}

}  // namespace

LoopVolume::LoopVolume(const VolumeKind& kind, std::uintmax_t megabytes, std::string options)
    : mountType_(kind.mountType), options_(std::move(options)) {
  std::string pattern =
      (fs::temp_directory_path() / ("installer-" + kind.name + "-XXXXXX")).string();
  if (!::mkdtemp(pattern.data()))
    throw HarnessError("mkdtemp " + pattern + ": " + std::strerror(errno));
  folder_ = pattern;
  image_ = folder_ / "volume.img";
  mountPoint_ = folder_ / "volume";
  try {
    fs::create_directory(mountPoint_);
    { std::ofstream(image_.string()); }
    fs::resize_file(image_, megabytes << 20);
    std::vector<std::string> arguments(kind.make.begin() + 1, kind.make.end());
    arguments.push_back(image_.string());
    runSystemProgram(kind.make.front(), arguments);
    mountAgain();
  } catch (...) {
    std::error_code error;
    fs::remove_all(folder_, error);
    throw;
  }
}

LoopVolume::~LoopVolume() {
  ::umount2(mountPoint_.c_str(), MNT_DETACH);
  std::error_code error;
  fs::remove_all(folder_, error);
}

void LoopVolume::flush() const { onFolder(mountPoint_, "syncfs", ::syncfs); }

void PowerCutVolume::cut() const {
  onFolder(mountPoint(), "shutdown", [](int fd) {
    __u32 flags = goingDownWithoutLogFlush;
    return ::ioctl(fd, goingDownRequest, &flags);
  });
}

void LoopVolume::mountAgain() const {
  // A process just killed may hold the volume for a moment longer.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (::umount2(mountPoint_.c_str(), 0) != 0 && errno != EINVAL) {
    if (errno != EBUSY || std::chrono::steady_clock::now() > deadline)
      throw HarnessError("umount " + mountPoint_.string() + ": " + std::strerror(errno));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  // The loop device is mount's, for a FUSE type too: freed with the volume.
  runSystemProgram("mount", {"-t", mountType_, "-o", options_.empty() ? "loop" : "loop," + options_,
                             image_.string(), mountPoint_.string()});
}

void LoopVolume::mountReadOnly() {
  options_ = options_.empty() ? "ro" : options_ + ",ro";
  mountAgain();
}

const char* nameOf(Scenario scenario) {
  switch (scenario) {
    case Scenario::freshInstallation: return "fresh installation";
    case Scenario::updateWhileRunning: return "update, old browser running";
    case Scenario::updateWhoseLaunchFails: return "update whose launch fails";
  }
  return "?";
}

const char* nameOf(Fault fault) {
  switch (fault) {
    case Fault::kill: return "SIGKILL";
    case Fault::eio: return "EIO";
    case Fault::enospc: return "ENOSPC";
    case Fault::eacces: return "EACCES";
    case Fault::powerCut:
      return "power cut";
  }
  return "?";
}

std::string injectionOf(Fault fault) {
  return fault == Fault::kill || fault == Fault::powerCut ? "signal=KILL"
                                                          : std::string("error=") + nameOf(fault);
}

const std::vector<std::string>& sweptSystemCalls() {
  static const std::vector<std::string> calls = {
      "renameat2", "rename",  "renameat",  "mkdir",   "mkdirat",         "unlink",
      "unlinkat",  "rmdir",   "openat",    "write",   "pwrite64",        "writev",
      "copy_file_range",      "fchmod",    "fchmodat", "symlinkat",      "kill",
      "tgkill",    "pidfd_send_signal",    "flock",   "clone",           "clone3",
      "vfork",     "execve"};
  return calls;
}

StagedScenario::StagedScenario(e2e::Sandbox& sandbox, Scenario scenario, std::size_t resourceBytes)
    : scenario_(scenario),
      destination_(sandbox.path("apps") / e2e::browserBundle),
      installFolder_(sandbox.path("apps")),
      source_(sandbox.path("new") / e2e::browserBundle),
      dataRoot_(sandbox.path("profile")) {
  fs::create_directories(installFolder_);
  e2e::writeFile(dataRoot_ / "Default/Bookmarks", "{\"roots\": {}}\n");
  e2e::writeFile(dataRoot_ / "Local State", "{}\n");
  dataBefore_ = e2e::snapshotTree(dataRoot_);

  std::map<std::string, std::string> resources;
  if (resourceBytes > 0)
    resources["Contents/Resources/resources.pak"] = resourceData(resourceBytes);
  e2e::makeBundle(source_,
                  {.extraFiles = resources, .seal = scenario != Scenario::updateWhoseLaunchFails});
  if (scenario == Scenario::updateWhoseLaunchFails) {
    // A seal over an executable the system cannot start: verification passes,
    // opening the application fails.
    fs::path executable = source_ / "Contents/MacOS" / e2e::browserName;
    fs::remove(executable);
    e2e::writeFile(executable, "#!/nonexistent/interpreter\n", fs::perms(0755));
    e2e::sealBundle(source_);
    reinstallSource_ =
        e2e::makeBundle(sandbox.path("good") / e2e::browserBundle, {.extraFiles = resources});
  } else {
    reinstallSource_ = source_;
  }
  if (scenario == Scenario::freshInstallation) return;

  e2e::makeBundle(destination_, {.version = std::string("1.0"), .extraFiles = resources});
  oldBundle_ = e2e::inodeOf(destination_);
  oldBrowser_.emplace(e2e::BrowserProcess::start(sandbox, destination_));
  // Started once its executable is the bundle's: the installer takes far
  // longer than the fixture needs to set up its handlers.
  fs::path executable = destination_ / "Contents/MacOS" / e2e::browserName;
  e2e::waitUntil([&] {
    std::error_code error;
    return fs::read_symlink("/proc/" + std::to_string(oldBrowser_->pid()) + "/exe", error) == executable;
  });
}

StagedScenario::~StagedScenario() = default;

std::vector<std::string> StagedScenario::arguments(bool reinstall) const {
  std::vector<std::string> arguments = {"--source", (reinstall ? reinstallSource_ : source_).string(),
                                        "--destination", destination_.string()};
  if (scenario_ != Scenario::freshInstallation)
    arguments.insert(arguments.end(), {"--current-app", destination_.string()});
  return arguments;
}

e2e::Environment StagedScenario::environment() const { return {{"QRVX_DATA_ROOT", dataRoot_.string()}}; }

TracedRun runTraced(e2e::Sandbox& sandbox, const StagedScenario& staged,
                    const std::vector<std::string>& traced,
                    const std::optional<std::pair<InjectionPoint, Fault>>& injection,
                    const PowerCutVolume* volume, std::chrono::milliseconds cutAfter) {
  static int runs = 0;
  fs::path traceFile =
      (volume ? volume->outside() : sandbox.root()) / ("trace-" + std::to_string(++runs) + ".txt");
  std::vector<std::string> launcher = {systemProgram("strace").string(),
                                       "-f",
                                       "-q",
                                       "-e",
                                       "signal=none",
                                       "-e",
                                       "trace=" + joined(traced, ","),
                                       "-o",
                                       traceFile.string()};
  if (injection) {
    const auto& [point, fault] = *injection;
    launcher.push_back("--inject=" + point.systemCall + ":" + injectionOf(fault) +
                       ":when=" + std::to_string(point.invocation));
  }
  launcher.push_back("--");

  e2e::InstallerRun run = e2e::InstallerRun::start(
      sandbox, {.arguments = staged.arguments(), .extraEnvironment = staged.environment(),
                .launcher = launcher});
  std::optional<pid_t> installer =
      childRunning(run.pid(), e2e::installerExecutable(e2e::builtInstallerBundle()));

  TracedRun result;
  result.sandboxRoot = sandbox.root().string();
  result.alerts = answerEveryAlert(run, [&] {
    return !installer || !e2e::processIsAlive(*installer) || (volume && crashStruck(traceFile));
  });
  if (volume) {
    if (!crashStruck(traceFile)) std::this_thread::sleep_for(cutAfter);
    // Everything stops with the power, and nothing it was writing lands.
    volume->cut();
    for (pid_t member : sessionMembers(run.pid())) ::kill(member, SIGKILL);
    sandbox.killProcessesInside();
    e2e::waitUntil([&] { return sessionMembers(run.pid()).empty(); }, std::chrono::seconds(20));
  } else {
    // A helper the installer started may outlive it when it was killed; what
    // it does until it ends is part of what the crash leaves.
    e2e::waitUntil([&] { return sessionMembers(run.pid()).empty(); }, std::chrono::seconds(20));
    result.lockFree = lockIsFree(staged.installFolder());
  }
  sandbox.killProcessesInside();
  e2e::RunResult ended = run.finish();
  if (volume) {
    volume->mountAgain();
    result.lockFree = lockIsFree(staged.installFolder());
  }
  result.standardError = ended.standardError;
  result.trace = e2e::readFile(traceFile);
  // strace ends with the status of the command it started, and kills itself
  // with the signal that killed it.
  result.exitStatus = ended.exitStatus;
  if (injection) {
    const auto& [point, fault] = *injection;
    std::map<pid_t, int> invocations;
    for (const TraceLine& line : traceLines(result.trace)) {
      std::string call = callOf(line.rest);
      if (call == point.systemCall && ++invocations[line.pid] == point.invocation) result.injected = true;
      if (installer && line.pid == *installer && call.starts_with("write") &&
          line.rest.find("(INJECTED)") != std::string::npos)
        result.failedWrite = std::atoi(line.rest.c_str() + call.size() + 1);
    }
  }
  return result;
}

std::vector<InjectionPoint> injectionPoints(const std::string& trace) {
  std::map<pid_t, std::map<std::string, int>> counts;
  std::map<std::string, std::set<int>> invocations;
  for (const TraceLine& line : traceLines(trace)) {
    std::string call = callOf(line.rest);
    if (call.empty()) continue;
    int invocation = ++counts[line.pid][call];
    if (call != "openat" || opensForWriting(line.rest)) invocations[call].insert(invocation);
  }
  std::vector<InjectionPoint> points;
  for (const std::string& call : sweptSystemCalls()) {
    auto found = invocations.find(call);
    if (found == invocations.end()) continue;
    if (call == "openat") {
      for (int invocation : found->second) points.push_back({call, invocation});
    } else {
      // Every number up to the largest any process reached.
      for (int invocation = 1; invocation <= *found->second.rbegin(); ++invocation)
        points.push_back({call, invocation});
    }
  }
  return points;
}

std::vector<std::string> invariantViolations(const e2e::Sandbox& sandbox, const StagedScenario& staged,
                                             const TracedRun& run) {
  std::vector<std::string> violations;
  const fs::path& destination = staged.destination();
  std::error_code error;
  if (fs::exists(fs::symlink_status(destination, error))) {
    if (staged.oldBundle() && directoryInode(destination) == staged.oldBundle()) {
      if (!e2e::bundleVerifies(destination)) violations.push_back("the old bundle at the destination is damaged");
    } else if (!isCompleteNewBundle(destination)) {
      violations.push_back("the destination holds neither the old bundle nor the complete new one");
    }
  } else if (staged.oldBundle()) {
    violations.push_back("the destination is empty");
  }

  if (staged.oldBundle()) {
    std::vector<fs::path> found;
    for (const fs::path& place : placesOfBundles(sandbox, staged))
      if (directoryInode(place) == staged.oldBundle()) found.push_back(place);
    if (found.size() != 1) {
      violations.push_back("the old bundle is in " + std::to_string(found.size()) + " places");
    } else if (!e2e::bundleVerifies(found.front())) {
      violations.push_back("the old bundle is damaged at " + found.front().string());
    }
  }

  std::string dataChanges = e2e::treeDifferences(staged.dataBefore(), e2e::snapshotTree(staged.dataRoot()));
  if (!dataChanges.empty()) violations.push_back("the data folder changed: " + dataChanges);
  if (!run.lockFree) violations.push_back("the install lock is still held");
  return violations;
}

std::vector<std::string> doneViolations(const StagedScenario& staged, const TracedRun& run) {
  if (run.exitStatus != std::optional<int>(0) || isCompleteNewBundle(staged.destination()))
    return {};
  return {"the installer said it was done, but the destination lost the new bundle"};
}

std::vector<std::string> endingViolations(const StagedScenario& staged, const TracedRun& run,
                                          const InjectionPoint& point) {
  static const std::set<std::string> removalCalls = {"rmdir", "unlink", "unlinkat"};
  std::vector<std::string> violations;
  const e2e::Alert* last = run.alerts.empty() ? nullptr : &run.alerts.back();
  if (run.exitStatus == std::optional<int>(1) && run.failedWrite) {
    // The alert or the line the fault struck cannot be there; the rest must.
    if (run.failedWrite != 2 && run.standardError.empty())
      violations.push_back("exit 1 with nothing on standard error");
  } else if (run.exitStatus == std::optional<int>(1)) {
    if (!last || last->messageText != failureTitle) {
      violations.push_back("exit 1 without the failure alert");
    } else if (!run.standardError.ends_with(last->informativeText + "\n")) {
      violations.push_back("standard error does not end with the alert's text: " + e2e::visible(run.standardError));
    }
  } else if (run.exitStatus != std::optional<int>(0)) {
    violations.push_back("ended with " + outcomeOf(run));
  }
  for (const fs::path& staging : e2e::stagingFolders(staged.installFolder())) {
    if (last && last->informativeText.find(staging.string()) != std::string::npos) continue;
    // The clean-up ignores a failure to remove the staging folder: what that
    // leaves behind may stay unnamed, as long as it is not the old bundle.
    bool heldOldBundle = false;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(staging, error))
      heldOldBundle = heldOldBundle || (staged.oldBundle() && directoryInode(entry.path()) == staged.oldBundle());
    if (heldOldBundle || !removalCalls.contains(point.systemCall))
      violations.push_back("staging folder " + staging.filename().string() + " left unnamed");
  }
  return violations;
}

std::vector<std::string> reinstallViolations(e2e::Sandbox& sandbox, const StagedScenario& staged) {
  std::vector<std::string> violations;
  e2e::InstallerRun run = e2e::InstallerRun::start(
      sandbox, {.arguments = staged.arguments(true), .extraEnvironment = staged.environment()});
  std::vector<e2e::Alert> alerts = answerEveryAlert(run);
  e2e::RunResult result = run.finish();
  if (result.exitStatus != 0) {
    std::string shown = alerts.empty() ? "" : alerts.back().informativeText;
    violations.push_back("the next installation ended with status " + std::to_string(result.exitStatus) +
                         ": " + e2e::visible(shown));
  }
  if (!isCompleteNewBundle(staged.destination()))
    violations.push_back("the next installation left no complete new bundle at the destination");
  for (const fs::path& staging : e2e::stagingFolders(staged.installFolder()))
    violations.push_back("the next installation left staging folder " +
                         staging.filename().string());
  sandbox.killProcessesInside();
  return violations;
}

std::string outcomeOf(const TracedRun& run) {
  if (!run.exitStatus) return "end not seen";
  if (*run.exitStatus == 0) return "installed";
  if (*run.exitStatus == 137) return "killed";
  if (*run.exitStatus != 1) return "status " + std::to_string(*run.exitStatus);
  // The alert's text, or the line on standard error when the alert could not
  // be shown; its first two lines, since the not-installed message says why
  // on its second; the sandbox's own path left out so that runs compare.
  bool alerted = !run.alerts.empty() && run.alerts.back().messageText == failureTitle;
  std::string text = alerted ? run.alerts.back().informativeText : run.standardError;
  std::string::size_type second = text.find('\n');
  if (second != std::string::npos) second = text.find('\n', second + 1);
  text = text.substr(0, second);
  if (!text.empty() && text.back() == '\n') text.pop_back();
  std::replace(text.begin(), text.end(), '\n', ' ');
  for (std::string::size_type at; (at = text.find(run.sandboxRoot)) != std::string::npos && !run.sandboxRoot.empty();)
    text.replace(at, run.sandboxRoot.size(), "…");
  return std::string(alerted ? "exit 1: " : "exit 1, no alert: ") + text;
}

}  // namespace faults
