#include "common.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace e2e {

fs::path builtInstallerBundle() {
  const char* copy = std::getenv("E2E_INSTALLER_BUNDLE");
  return copy && *copy ? fs::path(copy) : fs::path(INSTALLER_BUNDLE);
}

fs::path installerExecutable(const fs::path& installerBundle) {
  return installerBundle / "Contents/MacOS/QuorvaneInstaller";
}

fs::path helperPath(const fs::path& installerBundle, std::string_view name) {
  return installerBundle / "Contents/Helpers" / name;
}

fs::path shippedBrowser(const fs::path& installerBundle) {
  return installerBundle / "Contents/Resources" / browserBundle;
}

fs::path fixtureBrowserProgram() { return FIXTURE_BROWSER; }

fs::path copyInstallerBundle(const fs::path& to) {
  std::error_code error;
  fs::create_directories(to.parent_path(), error);
  fs::copy(builtInstallerBundle(), to,
           fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
  if (error)
    throw HarnessError("copy " + builtInstallerBundle().string() + " to " + to.string() + ": " +
                       error.message());
  return to;
}

void replaceHelper(const fs::path& installerBundle, std::string_view name,
                   std::string_view script) {
  fs::path helper = helperPath(installerBundle, name);
  std::error_code error;
  fs::remove(helper, error);
  writeFile(helper, script, fs::perms(0755));
}

std::string readFile(const fs::path& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    int error = errno;
    throw HarnessError("read " + path.string() + ": " + std::strerror(error));
  }
  std::string content;
  char buffer[65536];
  for (;;) {
    ssize_t count = ::read(fd, buffer, sizeof buffer);
    if (count > 0) {
      content.append(buffer, static_cast<std::size_t>(count));
    } else if (count == 0) {
      break;
    } else if (errno != EINTR) {
      int error = errno;
      ::close(fd);
      throw HarnessError("read " + path.string() + ": " + std::strerror(error));
    }
  }
  ::close(fd);
  return content;
}

void writeFile(const fs::path& path, std::string_view content, fs::perms mode) {
  std::error_code ignored;
  if (path.has_parent_path()) fs::create_directories(path.parent_path(), ignored);
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
                  static_cast<mode_t>(mode));
  if (fd < 0) {
    int error = errno;
    throw HarnessError("write " + path.string() + ": " + std::strerror(error));
  }
  std::size_t written = 0;
  while (written < content.size()) {
    ssize_t count = ::write(fd, content.data() + written, content.size() - written);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) {
      int error = errno;
      ::close(fd);
      throw HarnessError("write " + path.string() + ": " + std::strerror(error));
    }
    written += static_cast<std::size_t>(count);
  }
  ::close(fd);
  // The creation mode passes through the umask; the caller asked for this one.
  fs::permissions(path, mode, ignored);
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

std::string visible(std::string_view text) {
  std::string shown;
  for (unsigned char c : text) {
    if (c == '\n') {
      shown += "\\n\n";
    } else if (c == '\r') {
      shown += "\\r";
    } else if (c == '\t') {
      shown += "\\t";
    } else if (c < 0x20 || c == 0x7f) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      shown += escaped;
    } else {
      shown += static_cast<char>(c);
    }
  }
  return shown;
}

bool processIsAlive(pid_t pid) {
  // Any of its threads: the first may show as a zombie while another still
  // runs, or still closes the process's files (a killed process's do).
  std::error_code error;
  for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
    std::string status;
    try {
      status = readFile(task.path() / "stat");
    } catch (const HarnessError&) {
      continue;
    }
    auto close = status.rfind(')');
    if (close != std::string::npos && close + 2 < status.size() && status[close + 2] != 'Z')
      return true;
  }
  return false;
}

}  // namespace e2e
