#pragma once

#include <optional>
#include <vector>

#include "entry/options.h"
#include "inspect/bundle_info.h"
#include "platform/running_applications.h"

namespace installer {

/// What pre-flight learned; read by every later phase, changed by none.
struct PreflightFacts {
  BundleInfo sourceInfo;
  /// Absent for a fresh installation.
  std::optional<BundleInfo> destinationInfo;
  /// The instances that count as the running browser; at most one.
  std::vector<RunningApplicationHandle> runningInstances;
  /// The instance the installation quits; null when none runs.
  RunningApplicationHandle runningInstance;
  std::optional<FileURL> currentLocation;
  std::optional<BundleInfo> currentInfo;
  /// Whether the current copy goes to the Trash after a successful installation.
  std::optional<bool> retireCurrent;
};

/// Inspects everything the transaction will touch and refuses, changing
/// nothing, when the installation must not go ahead.
PreflightFacts preflight(const Options& options);

}  // namespace installer
