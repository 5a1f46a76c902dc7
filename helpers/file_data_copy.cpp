#include "helpers/file_data_copy.h"

#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "helpers/file_io.h"
#include "helpers/system_failure.h"

namespace helpers {
namespace {

constexpr size_t kernelCopyChunk = size_t{1} << 30;
constexpr size_t bufferSize = size_t{1} << 20;

/// Errors that say "not between these files", not "this copy failed".
bool meansUnavailable(int error) {
  return error == EOPNOTSUPP || error == ENOTTY || error == EXDEV || error == EINVAL ||
         error == ENOSYS || error == EPERM;
}

void copyByReadAndWrite(int in, int out, const std::string& sourcePath,
                        const std::string& destinationPath) {
  // Uninitialised, like the digest's: only the pages a read fills are touched.
  static const std::unique_ptr<char[]> buffer = std::make_unique_for_overwrite<char[]>(bufferSize);
  for (;;) {
    ssize_t count = ::read(in, buffer.get(), bufferSize);
    if (count < 0) {
      if (errno == EINTR) continue;
      throwSystemFailure("read", sourcePath, errno);
    }
    if (count == 0) return;
    writeAll(out, std::string_view(buffer.get(), static_cast<size_t>(count)), destinationPath);
  }
}

}  // namespace

bool FileDataCopier::cloned(int in, int out, dev_t device) {
  if (cloneUnavailable_.contains(device)) return false;
  if (::ioctl(out, FICLONE, in) == 0) return true;
  if (meansUnavailable(errno)) cloneUnavailable_.insert(device);
  return false;
}

bool FileDataCopier::copiedInKernel(int in, int out, dev_t device, const std::string& sourcePath,
                                    const std::string& destinationPath) {
  if (kernelCopyUnavailable_.contains(device)) return false;
  bool copiedAny = false;
  for (;;) {
    ssize_t count = ::copy_file_range(in, nullptr, out, nullptr, kernelCopyChunk, 0);
    if (count > 0) {
      copiedAny = true;
      continue;
    }
    if (count == 0) return true;
    if (errno == EINTR) continue;
    if (meansUnavailable(errno)) {
      if (!copiedAny) kernelCopyUnavailable_.insert(device);
      return false;
    }
    // Whose fault it is cannot be told apart; name both ends.
    throwSystemFailure("copy_file_range " + printablePath(sourcePath) + " to", destinationPath, errno);
  }
}

void FileDataCopier::copy(int in, int out, const struct stat& status, const std::string& sourcePath,
                          const std::string& destinationPath) {
  if (status.st_size == 0) {
    // Files that report no size may still have content (procfs, sysfs).
    copyByReadAndWrite(in, out, sourcePath, destinationPath);
    return;
  }
  if (cloned(in, out, status.st_dev)) return;
  if (copiedInKernel(in, out, status.st_dev, sourcePath, destinationPath)) return;
  copyByReadAndWrite(in, out, sourcePath, destinationPath);
}

}  // namespace helpers
