#pragma once

#include "platform/services.h"

namespace installer {

/// The services of the platform the program was built for, created on first
/// use and alive until the process ends.
Services backendServices();

/// The services of a backend that holds one member for each, by the
/// services' own names.
template <typename Backend>
Services servicesOf(Backend& backend) {
  Services services;
  services.application = &backend.application;
  services.runningApplications = &backend.runningApplications;
  services.workspace = &backend.workspace;
  services.bundles = &backend.bundles;
  services.files = &backend.files;
  services.durability = &backend.durability;
  services.childProcesses = &backend.childProcesses;
  services.processInfo = &backend.processInfo;
  services.runLoop = &backend.runLoop;
  services.preferences = &backend.preferences;
  services.posix = &backend.posix;
  services.uuids = &backend.uuids;
  services.text = &backend.text;
  return services;
}

}  // namespace installer
