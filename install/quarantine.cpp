#include "install/quarantine.h"

#include "entry/constants.h"
#include "entry/installer_error.h"
#include "platform/platform_error.h"

namespace installer {

void releaseFromQuarantine(const FileURL& stagedBundle) {
  try {
    files().removeQuarantine(stagedBundle);
  } catch (const PlatformError&) {
    throw InstallerError("无法准备新版浏览器。");
  }
}

}  // namespace installer
