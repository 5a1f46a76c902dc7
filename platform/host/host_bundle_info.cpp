#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/host/host.h"

namespace installer::host {
namespace {

/// Far above any real Info.plist; a larger one is not read, so that a
/// hostile bundle cannot make the installer allocate without bound.
constexpr off_t maximumInfoSize = 1 << 20;

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

std::optional<PropertyDictionary> readBundleInfo(const std::string& bundle) {
  Descriptor bundleFolder(::open(bundle.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (bundleFolder.get() < 0) return std::nullopt;
  // Each step below the bundle refuses a link, so what is read is the file
  // that lies in the bundle, the one its seal covers.
  Descriptor contents(
      ::openat(bundleFolder.get(), "Contents", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (contents.get() < 0) return std::nullopt;
  // O_NONBLOCK: a FIFO planted as Info.plist must not hang the open.
  Descriptor file(
      ::openat(contents.get(), "Info.plist", O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (file.get() < 0) return std::nullopt;
  struct stat status {};
  if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode) ||
      status.st_size > maximumInfoSize) {
    return std::nullopt;
  }
  std::string bytes;
  char buffer[65536];
  for (;;) {
    ssize_t count = ::read(file.get(), buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return std::nullopt;
    if (count == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(count));
    // The file may have grown since it was measured.
    if (bytes.size() > static_cast<std::size_t>(maximumInfoSize)) return std::nullopt;
  }
  std::optional<PropertyValue> info = propertyListOfBytes(bytes);
  if (!info || !info->dictionary()) return std::nullopt;
  return *info->dictionary();
}

}  // namespace installer::host
