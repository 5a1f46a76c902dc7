#include "install/install.h"

#include "entry/constants.h"
#include "install/confirmation.h"
#include "install/leftovers.h"
#include "install/preflight.h"
#include "install/replacement.h"
#include "install/retirement.h"
#include "install/staging.h"
#include "install/volume_check.h"

namespace installer {

void install(const Options& options) {
  const PreflightFacts facts = preflight(options);
  if (!confirmed(options, facts)) return;
  // From here the installer waits on timers (quitting, the launch watch),
  // which a napped process would stretch. Not held while the confirmation
  // waits for a person, nor the final report, so that the Mac may still
  // sleep if nobody answers.
  std::unique_ptr<Activity> activity = services().processInfo->beginActivity("安装" + browserName);
  // Declared in this order so that the staging directory is cleaned up
  // before the lock is released, on every way out.
  InstallLock lock(options);
  const Leftovers leftovers = putAwayLeftovers(lock);
  StagingDirectory staging(lock);
  checkStagingVolume(staging, facts.sourceInfo);
  const BundleInfo stagedInfo = stageCopy(facts.sourceInfo, staging);
  replace(options, facts, staging, stagedInfo);
  retireOldCopies(options, facts, staging, leftovers, std::move(activity));
}

}  // namespace installer
