#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "platform/macos/macos.h"
#include "platform/platform_error.h"

namespace installer::macos {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void fail(const std::string& what, const std::string& path, int error) {
  throw PlatformError(what + " " + path + ": " + ::strerror(error));
}

/// An open descriptor of `path`, closed when this goes.
class Opened {
 public:
  Opened(const std::string& path, int flags, const std::string& what)
      : descriptor_(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | flags)) {
    if (descriptor_ < 0) fail(what, path, errno);
  }
  ~Opened() { ::close(descriptor_); }
  Opened(const Opened&) = delete;
  Opened& operator=(const Opened&) = delete;
  int get() const { return descriptor_; }

 private:
  int descriptor_;
};

void synchronize(const std::string& path, int flags, const std::string& what) {
  Opened opened(path, flags, what);
  if (::fsync(opened.get()) != 0) fail(what, path, errno);
}

}  // namespace

void MacDurability::flushTree(const FileURL& item) {
  const std::string what = "Could not flush";
  std::error_code error;
  fs::recursive_directory_iterator entries(item.path(), error);
  for (; !error && entries != fs::recursive_directory_iterator(); entries.increment(error)) {
    // A link lives in its folder's entries, flushed with the folder.
    fs::file_type type = entries->symlink_status(error).type();
    if (type == fs::file_type::regular) synchronize(entries->path().string(), 0, what);
    if (type == fs::file_type::directory) synchronize(entries->path().string(), O_DIRECTORY, what);
  }
  if (error) fail(what, item.path(), error.value());
  Opened root(item.path(), O_DIRECTORY, what);
  if (::fsync(root.get()) != 0) fail(what, item.path(), errno);
  // fsync on APFS hands the data to the drive, whose cache may still reorder
  // it after the exchange that follows. A barrier is enough here: it keeps
  // every write above ahead of that exchange, and the exchange's own flush
  // (flushDirectories) empties the cache. Where the volume has no barrier,
  // the full flush does both.
  if (::fcntl(root.get(), F_BARRIERFSYNC) != 0 && ::fcntl(root.get(), F_FULLFSYNC) != 0) {
    fail(what, item.path(), errno);
  }
}

void MacDurability::flushDirectories(const std::vector<FileURL>& directories) {
  const std::string what = "Could not flush directory";
  std::map<dev_t, std::string> directoryOnDevice;
  for (const FileURL& directory : directories) {
    Opened opened(directory.path(), O_DIRECTORY, what);
    struct stat status {};
    if (::fstat(opened.get(), &status) != 0) fail(what, directory.path(), errno);
    if (::fsync(opened.get()) != 0) fail(what, directory.path(), errno);
    directoryOnDevice[status.st_dev] = directory.path();
  }
  // One full flush per device, after every fsync: it empties the drive's
  // cache of everything written before it, all these entries included.
  for (const auto& [device, path] : directoryOnDevice) {
    Opened opened(path, O_DIRECTORY, what);
    if (::fcntl(opened.get(), F_FULLFSYNC) != 0) fail(what, path, errno);
  }
}

}  // namespace installer::macos
