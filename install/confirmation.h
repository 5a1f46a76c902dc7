#pragma once

#include "entry/options.h"
#include "install/preflight.h"

namespace installer {

/// Asks the user, in one modal alert, to confirm the installation that
/// pre-flight allowed. True only for the first button.
bool confirmed(const Options& options, const PreflightFacts& facts);

}  // namespace installer
