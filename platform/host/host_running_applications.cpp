#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <map>
#include <string>
#include <string_view>

#include "platform/host/host.h"
#include "platform/host/host_process_handle.h"
#include "platform/host/host_session.h"

namespace installer {
namespace {

constexpr std::string_view executableFolder = "/Contents/MacOS/";
constexpr std::string_view bundleExtension = ".app";
constexpr std::string_view deletedMark = " (deleted)";

/// The pid a /proc entry names, or nothing for the entries that are not processes.
std::optional<int> processIdentifierOf(const char* name) {
  int value = 0;
  const char* end = name + std::char_traits<char>::length(name);
  auto [last, error] = std::from_chars(name, end, value);
  if (error != std::errc() || last != end || value <= 0) return std::nullopt;
  return value;
}

/// The target of the `exe` link relative to `directory`, or empty.
std::string executablePath(int directory, const char* link) {
  char buffer[4096];
  ssize_t length = readlinkat(directory, link, buffer, sizeof buffer);
  if (length <= 0 || static_cast<size_t>(length) == sizeof buffer) return {};
  return std::string(buffer, static_cast<size_t>(length));
}

/// B when `executable` is B/Contents/MacOS/NAME with B ending in ".app";
/// empty otherwise (also for the executable of a deleted file).
std::string_view bundleOfExecutable(std::string_view executable) {
  if (executable.ends_with(deletedMark)) return {};
  size_t slash = executable.rfind('/');
  if (slash == std::string_view::npos || slash + 1 == executable.size()) return {};
  std::string_view folder = executable.substr(0, slash + 1);
  if (!folder.ends_with(executableFolder)) return {};
  std::string_view bundle = folder.substr(0, folder.size() - executableFolder.size());
  size_t nameStart = bundle.rfind('/') + 1;  // 0 when there is no separator
  if (!bundle.ends_with(bundleExtension) || bundle.size() - nameStart <= bundleExtension.size())
    return {};
  return bundle;
}

/// Whether the /proc folder `name` belongs to `user`.
bool ownedBy(int proc, const char* name, uid_t user) {
  struct stat folder {};
  return fstatat(proc, name, &folder, 0) == 0 && folder.st_uid == user;
}

/// The real uid of the process from the first field of its "Uid:" line.
std::optional<uid_t> realUserOf(int directory) {
  int descriptor = openat(directory, "status", O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) return std::nullopt;
  char buffer[4096];
  ssize_t length;
  do length = read(descriptor, buffer, sizeof buffer - 1);
  while (length < 0 && errno == EINTR);
  close(descriptor);
  if (length <= 0) return std::nullopt;
  std::string_view text(buffer, static_cast<size_t>(length));
  size_t line = text.find("\nUid:");
  if (line == std::string_view::npos) return std::nullopt;
  size_t start = text.find_first_not_of(" \t", line + 5);
  if (start == std::string_view::npos) return std::nullopt;
  uid_t uid = 0;
  auto [last, error] = std::from_chars(text.data() + start, text.data() + text.size(), uid);
  if (error != std::errc()) return std::nullopt;
  return uid;
}

/// What the Info.plist of each bundle says, read once per listing.
class BundleCache {
 public:
  /// Whether `executable` is the main executable of `bundle` and the bundle
  /// carries `identifier`.
  bool isMainExecutable(const std::string& bundle, std::string_view executable,
                        const std::string& identifier) {
    auto [entry, inserted] = bundles_.try_emplace(bundle);
    if (inserted) entry->second = read(bundle);
    const std::optional<Info>& info = entry->second;
    return info && info->identifier == identifier &&
           executable.substr(bundle.size() + executableFolder.size()) == info->executable;
  }

 private:
  struct Info {
    std::string identifier;
    std::string executable;
  };

  static std::optional<Info> read(const std::string& bundle) {
    std::optional<PropertyDictionary> plist = host::readBundleInfo(bundle);
    if (!plist) return std::nullopt;
    const PropertyValue* identifier = findProperty(*plist, "CFBundleIdentifier");
    const PropertyValue* executable = findProperty(*plist, "CFBundleExecutable");
    if (!identifier || !identifier->string() || !executable || !executable->string())
      return std::nullopt;
    return Info{*identifier->string(), *executable->string()};
  }

  std::map<std::string, std::optional<Info>> bundles_;
};

/// The file `link` (an `exe` link under /proc) leads to, as device and inode.
std::optional<std::pair<dev_t, ino_t>> executableFile(int directory, const char* link) {
  struct stat status {};
  if (fstatat(directory, link, &status, 0) != 0) return std::nullopt;
  return std::pair(status.st_dev, status.st_ino);
}

/// Whether the command line read through `directory` carries a helper marker:
/// an argument beginning "--type=", or "-contentproc" or "-forkserver". A
/// process that rewrote its title shows its arguments joined by spaces in one,
/// so spaces separate them as well.
bool carriesHelperMarker(int directory) {
  int descriptor = openat(directory, "cmdline", O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) return false;
  std::string line;
  char buffer[4096];
  ssize_t length;
  while ((length = read(descriptor, buffer, sizeof buffer)) != 0) {
    if (length < 0 && errno == EINTR) continue;
    if (length < 0) break;
    line.append(buffer, static_cast<size_t>(length));
  }
  close(descriptor);
  std::string_view rest(line);
  while (!rest.empty()) {
    size_t end = std::min(rest.find('\0'), rest.find(' '));
    std::string_view argument = rest.substr(0, end);
    if (argument.starts_with("--type=") || argument == "-contentproc" || argument == "-forkserver")
      return true;
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
  }
  return false;
}

/// The handle of process `pid` when it is one of `identifier`'s instances;
/// its executable already matched. Everything is read again through one /proc/PID descriptor, which
/// stays bound to that process, so the start time, owner and executable cannot come from different
/// processes that shared the pid.
RunningApplicationHandle instanceHandle(int proc, const char* entry, int pid,
                                        const std::string& identifier, uid_t user,
                                        BundleCache& bundles) {
  int directory = openat(proc, entry, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directory < 0) return nullptr;
  RunningApplicationHandle handle;
  // Most of a browser's processes are helpers that say so: asked first, that
  // spares them everything else.
  if (carriesHelperMarker(directory)) {
    close(directory);
    return handle;
  }
  std::optional<host::ProcessStat> stat = host::readProcessStat(directory, "stat");
  std::optional<uid_t> owner = realUserOf(directory);
  std::string executable = executablePath(directory, "exe");
  std::string bundle(bundleOfExecutable(executable));
  if (stat && owner == user && !bundle.empty() && stat->state != 'Z' && stat->state != 'X' &&
      bundles.isMainExecutable(bundle, executable, identifier)) {
    // A helper without a marker is a child that runs the executable again.
    // Helpers outlive the instance, re-parented, for up to seconds: so an
    // orphan, or a process whose parent cannot be read, is decided by its
    // marker alone.
    std::optional<std::pair<dev_t, ino_t>> file = executableFile(directory, "exe");
    std::string parentLink = std::to_string(stat->parentProcessIdentifier) + "/exe";
    if (!file || executableFile(proc, parentLink.c_str()) != file)
      handle = std::make_shared<host::HostProcessHandle>(pid, stat->startTime, bundle);
  }
  close(directory);
  return handle;
}

}  // namespace

std::vector<RunningApplicationHandle> SystemRunningApplications::runningApplications(
    const std::string& bundleIdentifier) {
  std::vector<RunningApplicationHandle> handles;
  int proc = open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (proc < 0) return handles;
  DIR* entries = fdopendir(proc);
  if (!entries) {
    close(proc);
    return handles;
  }
  const uid_t user = getuid();
  const pid_t self = getpid();
  BundleCache bundles;
  std::vector<std::pair<int, std::string>> candidates;
  std::string link;
  while (dirent* entry = readdir(entries)) {
    std::optional<int> pid = processIdentifierOf(entry->d_name);
    // The lister is the installer, never a browser. Its own bundle's
    // Info.plist, read again at each evaluation of a watch, made every
    // listing about a fifth dearer.
    if (!pid || *pid == self) continue;
    // Other users' processes, most of a machine's, are ruled out before their
    // executable links, which they would not let us read anyway. The null
    // signal does it without a path lookup: it is refused with EPERM exactly
    // when neither the real nor the saved user of the process is ours (ESRCH:
    // gone). A security module's refusal says nothing of the user, so then
    // the owner of the /proc folder decides. The executable's path rules out
    // nearly every process left; only the rest are read in full.
    if (kill(*pid, 0) != 0 && (errno != EACCES || !ownedBy(proc, entry->d_name, user))) continue;
    link.assign(entry->d_name).append("/exe");
    std::string executable = executablePath(proc, link.c_str());
    std::string bundle(bundleOfExecutable(executable));
    // Everything is read again through the process's own folder below; this
    // only spares that for the bundles of other applications.
    if (bundle.empty() || !bundles.isMainExecutable(bundle, executable, bundleIdentifier))
      continue;
    candidates.emplace_back(*pid, entry->d_name);
  }
  std::sort(candidates.begin(), candidates.end());
  for (const auto& [pid, name] : candidates) {
    if (auto handle = instanceHandle(proc, name.c_str(), pid, bundleIdentifier, user, bundles))
      handles.push_back(std::move(handle));
  }
  closedir(entries);
  return handles;
}

}  // namespace installer
