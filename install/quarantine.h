#pragma once

#include "platform/file_url.h"

namespace installer {

/// Takes a download's quarantine mark off the verified staged copy. A marked
/// browser starts only after the system's question about a download, which
/// nobody answers within the launch watch, so a good update would be rolled
/// back. Throws InstallerError "无法准备新版浏览器。", as a failed copy does.
void releaseFromQuarantine(const FileURL& stagedBundle);

}  // namespace installer
