#include "install/install.h"

#include "install/confirmation.h"
#include "install/leftovers.h"
#include "install/preflight.h"
#include "install/replacement.h"
#include "install/retirement.h"
#include "install/staging.h"

namespace installer {

void install(const Options& options) {
  const PreflightFacts facts = preflight(options);
  if (!confirmed(options, facts)) return;
  // Declared in this order so that the staging directory is cleaned up
  // before the lock is released, on every way out.
  InstallLock lock(options);
  const Leftovers leftovers = putAwayLeftovers(lock.installDirectory());
  StagingDirectory staging(lock);
  const BundleInfo stagedInfo = stageCopy(facts.sourceInfo, staging);
  replace(options, facts, staging, stagedInfo);
  retireOldCopies(options, facts, staging, leftovers);
}

}  // namespace installer
