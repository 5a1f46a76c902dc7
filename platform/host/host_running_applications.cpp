#include <dirent.h>
#include <fcntl.h>
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

namespace installer::host {
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

/// The bundle identifiers read during one listing, by bundle path.
class IdentifierCache {
 public:
  bool carries(const std::string& bundle, const std::string& identifier) {
    auto [entry, inserted] = identifiers_.try_emplace(bundle);
    if (inserted) entry->second = read(bundle);
    return entry->second && *entry->second == identifier;
  }

 private:
  static std::optional<std::string> read(const std::string& bundle) {
    std::optional<PropertyValue> info = readPropertyList(bundle + "/Contents/Info.plist");
    if (!info || !info->dictionary()) return std::nullopt;
    const PropertyValue* value = findProperty(*info->dictionary(), "CFBundleIdentifier");
    if (!value || !value->string()) return std::nullopt;
    return *value->string();
  }

  std::map<std::string, std::optional<std::string>> identifiers_;
};

/// The handle of process `pid` when it is one of `identifier`'s instances.
/// Everything is read again through one /proc/PID descriptor, which stays
/// bound to that process, so the start time, owner and executable cannot come
/// from different processes that shared the pid.
RunningApplicationHandle instanceHandle(int proc, const char* entry, int pid,
                                        const std::string& identifier, uid_t user,
                                        IdentifierCache& identifiers) {
  int directory = openat(proc, entry, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directory < 0) return nullptr;
  RunningApplicationHandle handle;
  std::optional<ProcessStat> stat = readProcessStat(directory, "stat");
  std::optional<uid_t> owner = realUserOf(directory);
  std::string executable = executablePath(directory, "exe");
  std::string bundle(bundleOfExecutable(executable));
  if (stat && owner == user && !bundle.empty() && stat->state != 'Z' && stat->state != 'X' &&
      identifiers.carries(bundle, identifier)) {
    handle = std::make_shared<HostProcessHandle>(pid, stat->startTime, bundle);
  }
  close(directory);
  return handle;
}

}  // namespace

std::vector<RunningApplicationHandle> HostRunningApplications::runningApplications(
    const std::string& bundleIdentifier) {
  std::vector<RunningApplicationHandle> handles;
  int proc = open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (proc < 0) return handles;
  DIR* entries = fdopendir(proc);
  if (!entries) {
    close(proc);
    return handles;
  }
  std::vector<std::pair<int, std::string>> candidates;
  std::string link;
  while (dirent* entry = readdir(entries)) {
    std::optional<int> pid = processIdentifierOf(entry->d_name);
    if (!pid) continue;
    // The executable's path rules out nearly every process with one call;
    // only the rest are read in full.
    link.assign(entry->d_name).append("/exe");
    if (bundleOfExecutable(executablePath(proc, link.c_str())).empty()) continue;
    candidates.emplace_back(*pid, entry->d_name);
  }
  std::sort(candidates.begin(), candidates.end());
  IdentifierCache identifiers;
  uid_t user = getuid();
  for (const auto& [pid, name] : candidates) {
    if (auto handle = instanceHandle(proc, name.c_str(), pid, bundleIdentifier, user, identifiers))
      handles.push_back(std::move(handle));
  }
  closedir(entries);
  return handles;
}

}  // namespace installer::host
