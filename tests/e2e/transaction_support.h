#pragma once

// What the scenarios of confirmed installations share beside the installation
// steps: where a sandbox keeps the bundles, a confirmation answered after its
// buttons were checked, and what a running process holds.

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "alert_transcript.h"
#include "installer_run.h"
#include "sandbox.h"

namespace e2e {

/// sandbox/apps/Quorvane浏览器.app: the installed copy of most scenarios.
std::filesystem::path installedLocation(const Sandbox& sandbox);
/// sandbox/new/Quorvane浏览器.app: the new bundle handed over with --source.
std::filesystem::path newBundleLocation(const Sandbox& sandbox);

/// The descriptors `pid` holds now, "N -> target", in number order; throws
/// HarnessError when its descriptor folder cannot be read.
std::vector<std::string> openDescriptorsOf(pid_t pid);

/// Waits for the confirmation, expects `firstButton` as its first, default
/// button and "取消" as the second, confirms with Return and answers the alert.
Alert confirmWithReturn(InstallerRun& run, std::string_view firstButton);

}  // namespace e2e
