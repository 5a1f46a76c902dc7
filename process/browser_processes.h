#pragma once

#include <optional>
#include <vector>

#include "platform/file_url.h"
#include "platform/running_applications.h"

namespace installer {

/// The running, not terminated browser instances in the platform's order;
/// with a location (in normalized form), only those started from the bundle
/// there, by path text or by the identity of the two entries. Never fails.
std::vector<RunningApplicationHandle> browserProcesses(const std::optional<FileURL>& at);

}  // namespace installer
