#pragma once

// The Linux backend's session services: the main run loop, alerts on the
// desktop or the terminal, running applications from /proc and launching bundles.

#include <memory>
#include <string>

#include "platform/services.h"
#include "platform/system_services.h"

namespace installer::host {

/// One queue of blocks drained on the main thread; its state is the
/// `MainQueue`, which launch threads report into.
using HostRunLoop = SystemRunLoop;

/// Alerts as desktop dialogs where a display is and on the controlling
/// terminal where there is one, the first answer counting; -1001 with neither.
class HostApplication final : public Application {
 public:
  explicit HostApplication(HostRunLoop& runLoop);
  void setAccessoryActivationPolicy() override;
  void activate() override;
  long runModal(const Alert& alert) override;

 private:
  HostRunLoop& runLoop_;
};

/// Browser instances from /proc.
using HostRunningApplications = SystemRunningApplications;

class HostWorkspace final : public Workspace {
 public:
  explicit HostWorkspace(HostRunLoop& runLoop);
  void openApplication(const FileURL& bundle, const OpenConfiguration& configuration,
                       OpenCompletion completion) override;
  /// A desktop entry of the bundle's path that names that path.
  bool isRegistered(const FileURL& bundle, const std::string& bundleIdentifier) override;

 private:
  HostRunLoop& runLoop_;
};

}  // namespace installer::host
