#pragma once

#include <functional>

#include "platform/running_applications.h"

namespace installer {

/// The limit of every wait of the installer, in seconds.
inline constexpr double waitLimit = 25.0;

/// Polls `until` while the main run loop turns, in passes of at most 0.05 s,
/// until it holds or `seconds` have passed; the last evaluation, made after
/// the deadline, decides. Answers the condition's last value.
bool wait(double seconds, const std::function<bool()>& until);

/// Asks `instance` to quit and waits for it to end. Throws InstallerError
/// when the request is not delivered or the instance is still running after
/// the wait limit; never forces it.
void quit(const RunningApplicationHandle& instance);

}  // namespace installer
