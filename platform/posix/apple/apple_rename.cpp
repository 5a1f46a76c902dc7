#include <stdio.h>

#include <cerrno>

#include "platform/posix/system_calls.h"

namespace installer::posix {

int renameWithoutReplacing(const std::string& from, const std::string& to) {
  if (::renamex_np(from.c_str(), to.c_str(), RENAME_EXCL) == 0) return 0;
  return errno;
}

int exchangeEntries(const std::string& first, const std::string& second) {
  if (::renamex_np(first.c_str(), second.c_str(), RENAME_SWAP) == 0) return 0;
  return errno;
}

// renameatx_np(2): renamex_np relative to the folders open as `fromfd` and
// `tofd`; RENAME_EXCL fails with EEXIST where the target exists, RENAME_SWAP
// exchanges the two entries atomically.
int renameWithoutReplacingAt(int fromParent, const std::string& from, int toParent,
                             const std::string& to) {
  if (::renameatx_np(fromParent, from.c_str(), toParent, to.c_str(), RENAME_EXCL) == 0) return 0;
  return errno;
}

int exchangeEntriesAt(int firstParent, const std::string& first, int secondParent,
                      const std::string& second) {
  if (::renameatx_np(firstParent, first.c_str(), secondParent, second.c_str(), RENAME_SWAP) == 0) {
    return 0;
  }
  return errno;
}

}  // namespace installer::posix
