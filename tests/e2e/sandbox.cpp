#include "sandbox.h"

#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>

#include "common.h"

namespace e2e {

namespace {

fs::path temporaryFolder() {
  const char* configured = std::getenv("TMPDIR");
  return configured && *configured ? fs::path(configured) : fs::path("/tmp");
}

/// Makes every folder writable again, so a test that locked one down cannot
/// keep the sandbox from being removed.
void unlockFolders(const fs::path& root) {
  std::error_code error;
  fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, error);
  for (auto it = fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (it->is_directory(error) && !it->is_symlink(error))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
    error.clear();
  }
}

}  // namespace

Sandbox::Sandbox() : Sandbox(temporaryFolder()) {}

Sandbox::Sandbox(const fs::path& parent) {
  // Not named like the build folders the installer scans in /tmp, so no run
  // takes another test's bundles for old copies of the browser.
  std::string pattern = (parent / "installer-e2e-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) {
    int error = errno;
    throw HarnessError("mkdtemp " + pattern + ": " + std::strerror(error));
  }
  char* resolved = ::realpath(pattern.c_str(), nullptr);
  if (!resolved) {
    int error = errno;
    throw HarnessError("realpath " + pattern + ": " + std::strerror(error));
  }
  root_ = resolved;
  ::free(resolved);
  for (const auto& folder : {home(), dataHome(), configHome(), cacheHome(), runtimeDirectory()}) {
    if (::mkdir(folder.c_str(), 0700) != 0) {
      int error = errno;
      std::error_code ignored;
      fs::remove_all(root_, ignored);
      throw HarnessError("mkdir " + folder.string() + ": " + std::strerror(error));
    }
  }
}

Sandbox::~Sandbox() {
  killProcessesInside();
  unlockFolders(root_);
  std::error_code error;
  fs::remove_all(root_, error);
  if (error) std::cerr << "remove " << root_ << ": " << error.message() << "\n";
}

Environment Sandbox::environment() const {
  std::string user = std::to_string(::getuid());
  if (const passwd* entry = ::getpwuid(::getuid())) user = entry->pw_name;
  return {
      {"HOME", home().string()},
      {"USER", user},
      {"LOGNAME", user},
      {"PATH", "/usr/local/bin:/usr/bin:/bin"},
      {"LANG", "C.UTF-8"},
      {"XDG_DATA_HOME", dataHome().string()},
      {"XDG_CONFIG_HOME", configHome().string()},
      {"XDG_CACHE_HOME", cacheHome().string()},
      {"XDG_RUNTIME_DIR", runtimeDirectory().string()},
  };
}

std::vector<pid_t> Sandbox::processesInside() const {
  std::vector<pid_t> inside;
  std::string prefix = root_.string() + "/";
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    pid_t pid = static_cast<pid_t>(std::stol(name));
    struct stat status;
    if (::stat(entry.path().c_str(), &status) != 0 || status.st_uid != ::getuid()) continue;
    std::error_code linkError;
    fs::path executable = fs::read_symlink(entry.path() / "exe", linkError);
    if (!linkError && executable.string().starts_with(prefix) && processIsAlive(pid))
      inside.push_back(pid);
  }
  return inside;
}

void Sandbox::killProcessesInside() const {
  std::vector<pid_t> processes = processesInside();
  for (pid_t pid : processes) ::kill(pid, SIGKILL);
  // Not reaped here: a child of the test belongs to the object that started it,
  // which collects its status (and must not signal a pid reaped behind its back).
  for (pid_t pid : processes)
    waitUntil([&] { return !processIsAlive(pid); }, std::chrono::seconds(10));
}

}  // namespace e2e
