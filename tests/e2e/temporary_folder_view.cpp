#include "temporary_folder_view.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>

#include "common.h"
#include "installer_run.h"
#include "sandbox.h"

namespace e2e {

namespace {

constexpr std::array<std::string_view, 3> buildFolderPrefixes = {"qrvx-browser-", "qrvx-cef-",
                                                                  "qrvx-home-compact."};
const fs::path sharedTemporaryFolder = "/tmp";

std::optional<fs::path> systemProgram(std::string_view name) {
  for (const char* folder : {"/usr/bin", "/bin", "/usr/sbin", "/sbin"}) {
    fs::path program = fs::path(folder) / name;
    if (::access(program.c_str(), X_OK) == 0) return program;
  }
  return std::nullopt;
}

std::string shellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

/// Whether this process may make a mount namespace and bind a folder in it.
bool mountNamespacesPermitted(const fs::path& unshare, const fs::path& folder) {
  ToolResult result = runTool(unshare,
                              {"--mount", "--propagation", "private", "/bin/sh", "-c",
                               "mount --bind \"$1\" \"$1\"", "sh", folder.string()},
                              toolEnvironment());
  return result.exitStatus == 0;
}

bool hasBuildFolderPrefix(std::string_view name) {
  for (std::string_view prefix : buildFolderPrefixes)
    if (name.starts_with(prefix)) return true;
  return false;
}

std::string randomToken() {
  std::random_device source;
  std::uniform_int_distribution<unsigned> digit(0, 15);
  std::string token;
  for (int count = 0; count < 8; ++count) token += "0123456789abcdef"[digit(source)];
  return token;
}

/// The processes whose mount namespace is the one `namespaceFd` holds.
std::vector<pid_t> processesInNamespace(int namespaceFd) {
  std::vector<pid_t> inside;
  struct stat held;
  if (::fstat(namespaceFd, &held) != 0) return inside;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    struct stat status;
    if (::stat((entry.path() / "ns/mnt").c_str(), &status) != 0) continue;
    if (status.st_dev == held.st_dev && status.st_ino == held.st_ino)
      inside.push_back(static_cast<pid_t>(std::stol(name)));
  }
  return inside;
}

}  // namespace

TemporaryFolderView::TemporaryFolderView(const Sandbox& sandbox) : root_(sandbox.root()) {
  const char* forced = std::getenv("E2E_SHARED_TMP");
  const bool sharedWanted = forced && std::string_view(forced) == "1";
  const std::optional<fs::path> unshare = systemProgram("unshare");
  isPrivate_ = !sharedWanted && unshare && mountNamespacesPermitted(*unshare, root_);

  if (isPrivate_) {
    launcher_ = copyInstallerBundle(root_ / "private-tmp" / "QuorvaneInstaller.app");
    const fs::path launcherProgram = installerExecutable(launcher_);
    fs::path program = launcherProgram;
    program += "-in-private-tmp";
    std::error_code error;
    fs::rename(launcherProgram, program, error);
    if (error)
      throw HarnessError("rename " + launcherProgram.string() + ": " + error.message());
    // The installer finds its bundle, and so its helpers, from its own
    // executable, which must therefore be reached through the new /tmp.
    writeFile(launcherProgram,
              "#!/bin/sh\n"
              "# The installer in a mount namespace of its own, the test's sandbox as /tmp.\n"
              "exec " + shellQuoted(unshare->string()) +
                  " --mount --propagation private /bin/sh -c "
                  "'mount --bind \"$1\" /tmp && shift && exec \"$@\"' sh " +
                  shellQuoted(root_.string()) + " " + shellQuoted(seen(program).string()) +
                  " \"$@\"\n",
              fs::perms(0755));
  } else {
    token_ = randomToken();
    std::string foreign;
    std::error_code error;
    for (const auto& item : fs::directory_iterator(sharedTemporaryFolder, error)) {
      const std::string name = item.path().filename().string();
      if (hasBuildFolderPrefix(name)) foreign += " " + name;
    }
    if (!foreign.empty())
      unusableReason_ = "no private /tmp, and the shared one holds build folders of others:" + foreign;
  }

  for (const auto& [name, value] : sandbox.environment()) {
    if (name == "HOME" || name.starts_with("XDG_")) environment_[name] = seen(value).string();
  }
}

TemporaryFolderView::~TemporaryFolderView() {
  for (int namespaceFd : namespaces_) {
    std::vector<pid_t> left = processesInNamespace(namespaceFd);
    for (pid_t pid : left) ::kill(pid, SIGKILL);
    for (pid_t pid : left) waitUntil([&] { return !processIsAlive(pid); }, std::chrono::seconds(10));
    ::close(namespaceFd);
  }
  for (const fs::path& made : sharedEntries_) {
    std::error_code ignored;
    fs::remove_all(made, ignored);
  }
}

fs::path TemporaryFolderView::seen(const fs::path& location) const {
  if (!isPrivate_) return location;
  const fs::path relative = location.lexically_relative(root_);
  if (relative.empty() || *relative.begin() == "..")
    throw HarnessError(location.string() + " lies outside the sandbox the run sees as /tmp");
  return relative == "." ? fs::path("/tmp") : fs::path("/tmp") / relative;
}

fs::path TemporaryFolderView::entry(std::string_view name) {
  if (isPrivate_) return root_ / name;
  std::string unique(name);
  std::size_t cut = unique.size();
  for (std::string_view prefix : buildFolderPrefixes)
    if (unique.starts_with(prefix)) cut = prefix.size();
  unique = cut == unique.size() ? unique + "-e2e" + token_
                                : unique.substr(0, cut) + "e2e" + token_ + "-" + unique.substr(cut);
  fs::path made = sharedTemporaryFolder / unique;
  struct stat status;
  if (::lstat(made.c_str(), &status) == 0) throw HarnessError(made.string() + " exists already");
  sharedEntries_.push_back(made);
  return made;
}

fs::path TemporaryFolderView::seenEntry(const fs::path& entry) const {
  return isPrivate_ ? seen(entry) : entry;
}

fs::path TemporaryFolderView::installerBundle() const {
  return isPrivate_ ? launcher_ : builtInstallerBundle();
}

Environment TemporaryFolderView::environment() const { return environment_; }

void TemporaryFolderView::holdNamespaceOf(const InstallerRun& run) {
  if (!isPrivate_) return;
  const std::string link = "/proc/" + std::to_string(run.pid()) + "/ns/mnt";
  int fd = ::open(link.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    int error = errno;
    throw HarnessError("open " + link + ": " + std::strerror(error));
  }
  struct stat theirs;
  struct stat ours;
  if (::fstat(fd, &theirs) != 0 || ::stat("/proc/self/ns/mnt", &ours) != 0 ||
      (theirs.st_dev == ours.st_dev && theirs.st_ino == ours.st_ino)) {
    ::close(fd);
    throw HarnessError("the installer (pid " + std::to_string(run.pid()) +
                       ") does not run in a mount namespace of its own");
  }
  namespaces_.push_back(fd);
}

}  // namespace e2e
