#pragma once

// The Linux backend's session services: the main run loop, alerts on the
// desktop or the terminal, running applications from /proc and launching bundles.

#include <memory>
#include <string>

#include "platform/services.h"

namespace installer::host {

class MainQueue;

/// One queue of blocks drained on the main thread.
class HostRunLoop final : public RunLoop {
 public:
  HostRunLoop();
  ~HostRunLoop() override;
  bool runOnce(double limitSeconds) override;
  void sleep(double seconds) override;
  void dispatchToMain(std::function<void()> block) override;
  /// An asynchronous operation started or ended: while one is pending a
  /// pass waits for blocks instead of answering false at once.
  void beginPendingOperation();
  void endPendingOperation();

 private:
  friend class HostWorkspace;
  // Shared so that a launch thread still finishing its operation never
  // outlives the queue it reports to.
  std::shared_ptr<MainQueue> queue_;
};

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
class HostRunningApplications final : public RunningApplications {
 public:
  std::vector<RunningApplicationHandle> runningApplications(
      const std::string& bundleIdentifier) override;
};

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
