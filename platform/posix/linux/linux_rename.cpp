#include <fcntl.h>
#include <stdio.h>

#include <cerrno>

#include "platform/posix/system_calls.h"

namespace installer::posix {

int renameWithoutReplacing(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  return errno;
}

int exchangeEntries(const std::string& first, const std::string& second) {
  if (::renameat2(AT_FDCWD, first.c_str(), AT_FDCWD, second.c_str(), RENAME_EXCHANGE) == 0) {
    return 0;
  }
  return errno;
}

int renameWithoutReplacingAt(int fromParent, const std::string& from, int toParent,
                             const std::string& to) {
  if (::renameat2(fromParent, from.c_str(), toParent, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  return errno;
}

int exchangeEntriesAt(int firstParent, const std::string& first, int secondParent,
                      const std::string& second) {
  if (::renameat2(firstParent, first.c_str(), secondParent, second.c_str(), RENAME_EXCHANGE) == 0) {
    return 0;
  }
  return errno;
}

}  // namespace installer::posix
