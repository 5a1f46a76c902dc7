#include "process/exchange.h"

#include "entry/installer_error.h"
#include "platform/services.h"

namespace installer::process {

void swap(const FileURL& first, const FileURL& second) {
  Posix& posix = *services().posix;
  const int error = posix.exchange(first.path(), second.path());
  if (error != 0) throw InstallerError("应用替换失败：" + posix.strerror(error));
}

}  // namespace installer::process
