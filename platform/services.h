#pragma once

#include "platform/application.h"
#include "platform/bundles.h"
#include "platform/child_processes.h"
#include "platform/durability.h"
#include "platform/file_manager.h"
#include "platform/posix.h"
#include "platform/preferences.h"
#include "platform/process_info.h"
#include "platform/running_applications.h"
#include "platform/text.h"
#include "platform/uuids.h"
#include "platform/workspace.h"

namespace installer {

/// The one set of platform services the logic runs against: the backend's at
/// start, or a test's mixture of real services and fakes.
struct Services {
  Application* application = nullptr;
  RunningApplications* runningApplications = nullptr;
  Workspace* workspace = nullptr;
  Bundles* bundles = nullptr;
  FileManager* files = nullptr;
  Durability* durability = nullptr;
  ChildProcesses* childProcesses = nullptr;
  ProcessInfo* processInfo = nullptr;
  RunLoop* runLoop = nullptr;
  Preferences* preferences = nullptr;
  Posix* posix = nullptr;
  UUIDs* uuids = nullptr;
  Text* text = nullptr;
};

/// Installs `services` for every later call; the previous set is returned.
Services installServices(const Services& services);
/// The installed services.
const Services& services();

/// Text equality of the platform's text type: case-sensitive, canonically
/// equivalent sequences equal.
bool sameText(const std::string& a, const std::string& b);

}  // namespace installer
