#pragma once

#include "entry/options.h"

namespace installer {

/// The installation transaction: returns after a successful installation or
/// a declined confirmation; every refusal or failure is raised.
void install(const Options& options);

}  // namespace installer
