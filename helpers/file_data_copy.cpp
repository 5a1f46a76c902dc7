#include "helpers/file_data_copy.h"

#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
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

/// Copies `length` bytes at `offset` of `in` to the same offset of `out`.
void copyRange(int in, int out, off_t offset, off_t length, const std::string& sourcePath,
               const std::string& destinationPath) {
  off_t inOffset = offset, outOffset = offset;
  while (length > 0) {
    ssize_t count = ::copy_file_range(in, &inOffset, out, &outOffset,
                                      static_cast<size_t>(std::min<off_t>(length, kernelCopyChunk)), 0);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0 && meansUnavailable(errno)) {
      // pread and pwrite of what is left, through the same offsets.
      static const std::unique_ptr<char[]> buffer = std::make_unique_for_overwrite<char[]>(bufferSize);
      count = ::pread(in, buffer.get(), static_cast<size_t>(std::min<off_t>(length, bufferSize)), inOffset);
      if (count < 0 && errno == EINTR) continue;
      if (count < 0) throwSystemFailure("read", sourcePath, errno);
      if (count > 0 && ::pwrite(out, buffer.get(), static_cast<size_t>(count), outOffset) != count) {
        throwSystemFailure("write", destinationPath, errno);
      }
      inOffset += count;
      outOffset += count;
    } else if (count < 0) {
      throwSystemFailure("copy_file_range " + printablePath(sourcePath) + " to", destinationPath, errno);
    }
    if (count == 0) return;  // the file shrank meanwhile
    length -= count;
  }
}

}  // namespace

bool FileDataCopier::copiedSparsely(int in, int out, const struct stat& status, const std::string& sourcePath,
                                    const std::string& destinationPath) {
  // A file that takes less room than its size has holes; copying them as
  // data would fill the disk with zeroes (a small download may hold a huge
  // empty file). Only its data is copied, the size set after.
  if (static_cast<std::uintmax_t>(status.st_blocks) * 512 >= static_cast<std::uintmax_t>(status.st_size)) {
    return false;
  }
  off_t data = ::lseek(in, 0, SEEK_DATA);
  if (data < 0 && errno != ENXIO) return false;  // no way to tell holes here
  while (data >= 0) {
    const off_t hole = ::lseek(in, data, SEEK_HOLE);
    if (hole < 0) throwSystemFailure("lseek", sourcePath, errno);
    copyRange(in, out, data, hole - data, sourcePath, destinationPath);
    data = ::lseek(in, hole, SEEK_DATA);
    if (data < 0 && errno != ENXIO) throwSystemFailure("lseek", sourcePath, errno);
  }
  if (::ftruncate(out, status.st_size) != 0) throwSystemFailure("ftruncate", destinationPath, errno);
  return true;
}

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
  if (copiedSparsely(in, out, status, sourcePath, destinationPath)) return;
  if (copiedInKernel(in, out, status.st_dev, sourcePath, destinationPath)) return;
  copyByReadAndWrite(in, out, sourcePath, destinationPath);
}

}  // namespace helpers
