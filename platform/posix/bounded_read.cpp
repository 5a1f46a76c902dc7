#include "platform/posix/bounded_read.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <memory>

#include "helpers/unique_fd.h"

namespace installer::posix {

FileBytes readOpenFile(int descriptor, std::size_t limit) {
  struct stat status {};
  if (::fstat(descriptor, &status) != 0) return {{}, errno};
  if (!S_ISREG(status.st_mode)) return {{}, EINVAL};
  if (static_cast<std::uintmax_t>(status.st_size) > limit) return {{}, EFBIG};
  FileBytes result;
  static constexpr std::size_t bufferSize = 65536;
  auto buffer = std::make_unique<char[]>(bufferSize);
  for (;;) {
    ssize_t count = ::read(descriptor, buffer.get(), bufferSize);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return {{}, errno};
    if (count == 0) return result;
    result.bytes.append(buffer.get(), static_cast<std::size_t>(count));
    // The file may have grown since it was measured.
    if (result.bytes.size() > limit) return {{}, EFBIG};
  }
}

FileBytes readFileBeneath(const std::string& folder, const std::vector<std::string>& steps,
                          std::size_t limit) {
  helpers::UniqueFd current(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!current) return {{}, errno};
  for (std::size_t index = 0; index < steps.size(); ++index) {
    const bool last = index + 1 == steps.size();
    // Each step refuses a link, so what is read is the file that lies
    // beneath the folder, the one a bundle's seal covers.
    const int flags = O_RDONLY | O_NOFOLLOW | O_CLOEXEC | (last ? O_NONBLOCK : O_DIRECTORY);
    helpers::UniqueFd next(::openat(current.get(), steps[index].c_str(), flags));
    if (!next) return {{}, errno};
    current = std::move(next);
  }
  return readOpenFile(current.get(), limit);
}

FileBytes readBundleInfoFile(const std::string& bundle) {
  // A larger one is not read, so that a hostile bundle cannot make the
  // installer allocate without bound.
  constexpr std::size_t maximumInfoSize = 1 << 20;
  return readFileBeneath(bundle, {"Contents", "Info.plist"}, maximumInfoSize);
}

}  // namespace installer::posix
