#pragma once

#include "platform/services.h"

namespace installer {

/// The services of the platform the program was built for, created on first
/// use and alive until the process ends.
Services backendServices();

/// The services of a backend that holds one member for each, by the
/// services' own names. In the order of Services, whose members each have a
/// type of their own.
template <typename Backend>
Services servicesOf(Backend& backend) {
  return Services{&backend.application,
                  &backend.runningApplications,
                  &backend.workspace,
                  &backend.bundles,
                  &backend.files,
                  &backend.durability,
                  &backend.childProcesses,
                  &backend.processInfo,
                  &backend.runLoop,
                  &backend.preferences,
                  &backend.posix,
                  &backend.uuids,
                  &backend.text};
}

}  // namespace installer
