// The file manager's answers about the user's folders.

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/host/host.h"
#include "platform/platform_error.h"

namespace installer {
namespace {

bool isAbsolute(const char* path) { return path && path[0] == '/'; }

}  // namespace

std::vector<FileURL> SystemFileManager::applicationSupportDirectories() {
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  if (isAbsolute(dataHome)) return {FileURL::fromAbsolutePath(dataHome)};
  return {FileURL::fromAbsolutePath(homeDirectory()).appendingPathComponent(".local/share")};
}

std::string SystemFileManager::homeDirectory() {
  const char* home = std::getenv("HOME");
  if (home && home[0] != '\0') return home;
  uid_t user = ::getuid();
  int error = 0;
  std::optional<std::string> entryHome = posix::homeOfUserIdentifier(user, &error);
  if (entryHome) return *entryHome;
  // Answering some other folder would put the user's files in the wrong place.
  throw PlatformError("Could not find the home directory of user " + std::to_string(user) + ": " +
                      (error != 0 ? posix::errorText(error) : std::string("no such user")));
}

}  // namespace installer
