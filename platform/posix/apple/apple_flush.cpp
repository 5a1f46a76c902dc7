#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "helpers/unique_fd.h"
#include "platform/posix/file_tree.h"
#include "platform/posix/posix_system.h"
#include "platform/posix/system_calls.h"

namespace installer::posix {

// APFS's fsync hands the data to the drive, whose volatile cache may keep it
// and reorder it. Where the volume has no full flush (exFAT, SMB and NFS
// answer ENOTSUP, EINVAL or ENOTTY, as Apple's fcntl(2) allows), the fsync
// already done is the best it offers; any other failure is one.
int flushDriveCache(int descriptor) {
  if (::fcntl(descriptor, F_FULLFSYNC) == 0) return 0;
  const int error = errno;
  return error == ENOTSUP || error == EINVAL || error == ENOTTY ? 0 : error;
}

void flushTreeToDisk(const std::string& path) {
  std::optional<TreeStop> stop =
      walkTree(path, [](const std::string& item, const FileStatus& status) {
        // A link lives in its folder's entries, flushed with the folder.
        const std::uint32_t type = status.mode & fileTypeMask;
        if (type != regularFileType && type != directoryType) return 0;
        const int flags =
            O_RDONLY | O_NOFOLLOW | O_CLOEXEC | (type == directoryType ? O_DIRECTORY : 0);
        helpers::UniqueFd opened(::open(item.c_str(), flags));
        return opened && ::fsync(opened.get()) == 0 ? 0 : errno;
      });
  if (stop) fail("Could not flush " + stop->path, stop->error);
  // A barrier is enough here: it keeps every write above ahead of the
  // exchange that follows, and the exchange's own flush (flushDirectories)
  // empties the cache. Where the volume has no barrier, the full flush does
  // both.
  helpers::UniqueFd root(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!root) fail("Could not flush " + path, errno);
  if (::fcntl(root.get(), F_BARRIERFSYNC) == 0) return;
  if (int error = flushDriveCache(root.get()); error != 0) fail("Could not flush " + path, error);
}

}  // namespace installer::posix
