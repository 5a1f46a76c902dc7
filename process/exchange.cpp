#include "process/exchange.h"

#include "entry/installer_error.h"
#include "platform/platform_error.h"
#include "platform/services.h"

namespace installer::process {

void swap(const FileURL& first, const FileURL& second) {
  Posix& posix = *services().posix;
  const int error = posix.exchange(first.path(), second.path());
  if (error != 0) throw InstallerError("应用替换失败：" + posix.strerror(error));
}

void swap(const FolderEntry& first, const FolderEntry& second) {
  Posix& posix = *services().posix;
  const int error = posix.exchangeAt(first.folder, first.name, second.folder, second.name);
  if (error != 0) throw InstallerError("应用替换失败：" + posix.strerror(error));
}

void move(const FolderEntry& from, const FolderEntry& to, const FileURL& fromURL,
          const FileURL& toURL) {
  Posix& posix = *services().posix;
  const int error = posix.moveAt(from.folder, from.name, to.folder, to.name);
  if (error != 0) {
    throw PlatformError("Could not move " + fromURL.path() + " to " + toURL.path() + ": " +
                        posix.strerror(error));
  }
}

}  // namespace installer::process
