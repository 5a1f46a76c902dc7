#pragma once

#include "entry/options.h"
#include "install/preflight.h"
#include "install/staging.h"

namespace installer {

/// Re-validates what the user confirmed, quits the running browser, puts the
/// staged bundle in place and launches it. When the launch fails the old
/// state is restored and the failure raised; when even that fails the
/// staging directory is kept as the backup and named in the message.
void replace(const Options& options, const PreflightFacts& facts, StagingDirectory& staging,
             const BundleInfo& stagedInfo);

}  // namespace installer
