#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>

#include "helpers/unique_fd.h"
#include "platform/posix/posix_system.h"
#include "platform/posix/system_calls.h"

namespace installer::posix {

void PosixDurability::flushTree(const FileURL& item) { flushTreeToDisk(item.path()); }

void PosixDurability::flushDirectories(const std::vector<FileURL>& directories) {
  const std::string what = "Could not flush directory ";
  std::map<dev_t, std::pair<helpers::UniqueFd, std::string>> lastOnDevice;
  for (const FileURL& directory : directories) {
    helpers::UniqueFd opened(
        ::open(directory.path().c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat status {};
    if (!opened || ::fstat(opened.get(), &status) != 0 || ::fsync(opened.get()) != 0) {
      fail(what + directory.path(), errno);
    }
    lastOnDevice[status.st_dev] = {std::move(opened), directory.path()};
  }
  // One cache flush per device, after every fsync: it empties the drive's
  // cache of everything written before it, all these entries included.
  for (const auto& [device, last] : lastOnDevice) {
    if (int error = flushDriveCache(last.first.get()); error != 0) fail(what + last.second, error);
  }
}

}  // namespace installer::posix
