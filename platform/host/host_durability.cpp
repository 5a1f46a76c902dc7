#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/host/host.h"
#include "platform/platform_error.h"

namespace installer::host {
namespace {

/// Runs `flush` on a descriptor of `path`; the failure names `what` and the path.
template <typename Flush>
void flushOpened(const std::string& path, int flags, const char* what, Flush flush) {
  int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | flags);
  int error = descriptor < 0 ? errno : 0;
  if (descriptor >= 0 && flush(descriptor) != 0) error = errno;
  if (descriptor >= 0) ::close(descriptor);
  if (error != 0)
    throw PlatformError(std::string(what) + " " + path + ": " + systemErrorText(error));
}

}  // namespace

// One syncfs instead of an fsync per file: on ext4 each fsync is a journal
// commit of its own, so a bundle of thousands of files waited for thousands
// of them. The copy helper starts each file's write-back as it goes, so
// little is left to write by now. A descriptor opened after the copy still
// reports write-back errors of the copy, as long as nobody has seen them.
void HostDurability::flushTree(const FileURL& item) {
  flushOpened(item.path(), O_NOFOLLOW, "Could not flush", ::syncfs);
}

void HostDurability::flushDirectories(const std::vector<FileURL>& directories) {
  for (const FileURL& directory : directories) {
    flushOpened(directory.path(), O_DIRECTORY, "Could not flush directory", ::fsync);
  }
}

}  // namespace installer::host
