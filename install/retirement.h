#pragma once

#include <memory>

#include "entry/options.h"
#include "install/leftovers.h"
#include "install/preflight.h"
#include "install/staging.h"
#include "platform/process_info.h"

namespace installer {

/// After a successful launch: retires the replaced bundle (now in the
/// staging directory), the current copy when it qualifies and the obsolete
/// copies found on the machine, removes the Dock tiles of those that went to
/// the Trash and lists the others in one alert, with what became of the
/// `leftovers` of interrupted runs. Keeps the staging directory when the
/// replaced bundle stays in it. Ends `activity` before the alert waits for a
/// person. Never throws.
void retireOldCopies(const Options& options, const PreflightFacts& facts, StagingDirectory& staging,
                     const Leftovers& leftovers, std::unique_ptr<Activity> activity = nullptr);

}  // namespace installer
