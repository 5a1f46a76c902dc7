#include "helpers/registry_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "helpers/file_io.h"
#include "helpers/system_failure.h"
#include "helpers/unique_fd.h"

namespace helpers {
namespace {

const std::string lockFileName = std::string(registryFileName) + ".lock";

/// Creates `path` and its missing parents, owner-only as the XDG rules ask.
void createDirectories(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string prefix = path.substr(0, slash);
    if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) throwSystemFailure("mkdir", prefix, errno);
    if (slash == std::string::npos) return;
  }
}

/// The registry's lines; none when it does not exist yet.
std::vector<std::string> readLines(int directoryFd, const std::string& path) {
  UniqueFd file(::openat(directoryFd, registryFileName, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!file) {
    if (errno == ENOENT) return {};
    throwSystemFailure("open", path, errno);
  }
  const std::string content = readAll(file.get(), path);
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < content.size()) {
    size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    if (end > start) lines.push_back(content.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

void writeLinesAtomically(int directoryFd, const std::string& directory, const std::vector<std::string>& lines) {
  std::string content;
  for (const std::string& line : lines) content += line + "\n";
  const std::string temporaryName = "." + std::string(registryFileName) + "." + std::to_string(::getpid());
  const std::string temporaryPath = directory + "/" + temporaryName;
  const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
  // Under the lock, a leftover of that name is from a run that died.
  ::unlinkat(directoryFd, temporaryName.c_str(), 0);
  UniqueFd temporary(::openat(directoryFd, temporaryName.c_str(), flags, 0600));
  if (!temporary) throwSystemFailure("create", temporaryPath, errno);
  try {
    writeAll(temporary.get(), content, temporaryPath);
    if (::fsync(temporary.get()) != 0) throwSystemFailure("fsync", temporaryPath, errno);
    if (::close(temporary.release()) != 0) throwSystemFailure("close", temporaryPath, errno);
    if (::renameat(directoryFd, temporaryName.c_str(), directoryFd, registryFileName) != 0)
      throwSystemFailure("rename", directory + "/" + registryFileName, errno);
  } catch (...) {
    ::unlinkat(directoryFd, temporaryName.c_str(), 0);
    throw;
  }
  ::fsync(directoryFd);
}

}  // namespace

std::string registryDirectory() {
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  if (dataHome != nullptr && dataHome[0] == '/') return std::string(dataHome) + "/launch-services";
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] != '/')
    throw SystemFailure("neither XDG_DATA_HOME nor HOME names an absolute folder");
  return std::string(home) + "/.local/share/launch-services";
}

std::string registryLine(const std::string& path) {
  std::string line;
  line.reserve(path.size());
  for (char c : path) {
    if (c == '\\') {
      line += "\\\\";
    } else if (c == '\n') {
      line += "\\n";
    } else {
      line += c;
    }
  }
  return line;
}

void updateRegistry(const std::string& path, bool registered) {
  const std::string directory = registryDirectory();
  if (registered) createDirectories(directory);
  UniqueFd directoryFd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!directoryFd) {
    if (!registered && errno == ENOENT) return;  // Nothing was ever registered.
    throwSystemFailure("open", directory, errno);
  }
  const std::string lockPath = directory + "/" + lockFileName;
  UniqueFd lock(::openat(directoryFd.get(), lockFileName.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!lock) throwSystemFailure("open", lockPath, errno);
  while (::flock(lock.get(), LOCK_EX) != 0) {
    if (errno != EINTR) throwSystemFailure("flock", lockPath, errno);
  }

  const std::string line = registryLine(path);
  std::vector<std::string> lines = readLines(directoryFd.get(), directory + "/" + registryFileName);
  std::vector<std::string> kept;
  bool present = false;
  for (std::string& existing : lines) {
    if (existing == line) {
      present = true;
      if (!registered) continue;
    }
    kept.push_back(std::move(existing));
  }
  if (registered == present) return;
  if (registered) kept.push_back(line);
  writeLinesAtomically(directoryFd.get(), directory, kept);
}

}  // namespace helpers
