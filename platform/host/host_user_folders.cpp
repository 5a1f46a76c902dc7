// The file manager's answers about the user's folders.

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/host/host.h"
#include "platform/platform_error.h"

namespace installer::host {
namespace {

bool isAbsolute(const char* path) { return path && path[0] == '/'; }

/// Calls `lookup(entry, buffer, size, result)` (a getpw*_r) with a buffer
/// that grows until the entry fits; the home folder, or nothing.
template <typename Lookup>
std::optional<std::string> homeOfPasswordEntry(Lookup lookup, int* failure) {
  long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 1024);
  for (;;) {
    struct passwd entry {};
    struct passwd* result = nullptr;
    int error = lookup(&entry, buffer.data(), buffer.size(), &result);
    if (error == ERANGE && buffer.size() < (1u << 20)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (failure) *failure = error;
    if (error != 0 || !result || !result->pw_dir) return std::nullopt;
    return std::string(result->pw_dir);
  }
}

}  // namespace

std::vector<FileURL> HostFileManager::applicationSupportDirectories() {
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  if (isAbsolute(dataHome)) return {FileURL::fromAbsolutePath(dataHome)};
  return {FileURL::fromAbsolutePath(homeDirectory()).appendingPathComponent(".local/share")};
}

std::string HostFileManager::homeDirectory() {
  const char* home = std::getenv("HOME");
  if (home && home[0] != '\0') return home;
  uid_t user = ::getuid();
  int error = 0;
  std::optional<std::string> entryHome = homeOfPasswordEntry(
      [user](passwd* entry, char* buffer, std::size_t size, passwd** result) {
        return ::getpwuid_r(user, entry, buffer, size, result);
      },
      &error);
  if (entryHome) return *entryHome;
  // Answering some other folder would put the user's files in the wrong place.
  throw PlatformError("Could not find the home directory of user " + std::to_string(user) + ": " +
                      (error != 0 ? posix::errorText(error) : std::string("no such user")));
}

std::optional<std::string> HostFileManager::homeDirectoryOfUser(const std::string& user) {
  return homeOfPasswordEntry(
      [&user](passwd* entry, char* buffer, std::size_t size, passwd** result) {
        return ::getpwnam_r(user.c_str(), entry, buffer, size, result);
      },
      nullptr);
}

std::string HostFileManager::currentDirectoryPath() {
  char* path = ::getcwd(nullptr, 0);
  if (!path) {
    // Relative paths resolved against a guess would name the wrong files.
    throw PlatformError("Could not get the current directory: " + posix::errorText(errno));
  }
  std::string result(path);
  std::free(path);
  return result;
}

}  // namespace installer::host
