#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace installer::posix {

/// The bytes of a file, or why they could not be read: `error` is 0 on
/// success, the errno value of the failed call, EINVAL for an item that is
/// no regular file and EFBIG for one over the limit.
struct FileBytes {
  std::string bytes;
  int error = 0;
};

/// What the regular file open at `descriptor` holds, read in a fixed buffer,
/// when it is at most `limit` bytes long, growth while reading included.
FileBytes readOpenFile(int descriptor, std::size_t limit);
/// Opens `steps` one after another beneath the folder at `folder`, refusing
/// a link at every step (a FIFO never blocks the open), and reads the file
/// at the end as `readOpenFile` does.
FileBytes readFileBeneath(const std::string& folder, const std::vector<std::string>& steps,
                          std::size_t limit);
/// The bundle's Contents/Info.plist as `readFileBeneath` reads it, up to a
/// size far above any real one.
FileBytes readBundleInfoFile(const std::string& bundle);

}  // namespace installer::posix
