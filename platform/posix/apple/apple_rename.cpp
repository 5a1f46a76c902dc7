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

}  // namespace installer::posix
