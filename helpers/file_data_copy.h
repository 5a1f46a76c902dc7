#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <set>
#include <string>

namespace helpers {

/// Copies file contents the cheapest way the file systems allow: a clone
/// (FICLONE), else, for a file with holes, its data alone, else an in-kernel copy (copy_file_range), else read and
/// write. Remembers, per source file system, which ways are unavailable.
class FileDataCopier {
 public:
  /// Copies everything of `in` to the empty file `out`. `status` is that of
  /// `in`. Throws SystemFailure naming the path that failed.
  void copy(int in, int out, const struct stat& status, const std::string& sourcePath,
            const std::string& destinationPath);

 private:
  bool cloned(int in, int out, dev_t device);
  /// False when `in` has no holes or the file system cannot show them.
  bool copiedSparsely(int in, int out, const struct stat& status, const std::string& sourcePath,
                      const std::string& destinationPath);
  /// False when the kernel cannot copy between these files; both offsets
  /// then stand where it stopped.
  bool copiedInKernel(int in, int out, dev_t device, const std::string& sourcePath,
                      const std::string& destinationPath);

  std::set<dev_t> cloneUnavailable_;
  std::set<dev_t> kernelCopyUnavailable_;
};

}  // namespace helpers
