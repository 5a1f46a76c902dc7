#pragma once

#include <functional>

#include "platform/file_url.h"
#include "platform/running_applications.h"

namespace installer {

/// Starts the browser at `location` (normalized) and watches that it really
/// starts: accepted once one instance there stays finished launching for
/// 2.0 s. `onLaunch` hears of every instance seen there, once per process
/// identifier, on the main thread, while the watch runs. Throws the
/// platform's open error, or InstallerError, when the launch is not accepted.
void launch(const FileURL& location,
            const std::function<void(const RunningApplicationHandle&)>& onLaunch = {});

}  // namespace installer
