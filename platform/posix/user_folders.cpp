// The file manager's answers that the password database and the working
// folder give on both systems, and the check of the user's Trash.

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/platform_error.h"
#include "platform/posix/posix_file_manager.h"
#include "platform/posix/posix_system.h"

namespace installer::posix {
namespace {

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

std::optional<std::string> homeOfUserIdentifier(std::uint32_t user, int* failure) {
  return homeOfPasswordEntry(
      [user](passwd* entry, char* buffer, std::size_t size, passwd** result) {
        return ::getpwuid_r(user, entry, buffer, size, result);
      },
      failure);
}

std::optional<std::string> PosixFileManager::homeDirectoryOfUser(const std::string& user) {
  return homeOfPasswordEntry(
      [&user](passwd* entry, char* buffer, std::size_t size, passwd** result) {
        return ::getpwnam_r(user.c_str(), entry, buffer, size, result);
      },
      nullptr);
}

void PosixFileManager::checkTrashFolders(const FileURL& item,
                                         const std::vector<std::string>& folders) {
  for (const std::string& folder : folders) {
    if (!isUnsafePrivateFolder(folder, ::getuid())) continue;
    throw PlatformError("Could not move " + item.path() + " to the Trash: " + folder +
                        " is not a folder of this user that only this user may write");
  }
}

std::string PosixFileManager::currentDirectoryPath() {
  char* path = ::getcwd(nullptr, 0);
  if (!path) {
    // Relative paths resolved against a guess would name the wrong files.
    throw PlatformError("Could not get the current directory: " + errorText(errno));
  }
  std::string result(path);
  std::free(path);
  return result;
}

}  // namespace installer::posix
