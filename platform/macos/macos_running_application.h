#pragma once

// One running application as the workspace and the listing hand it out.

#import <AppKit/AppKit.h>

#include "platform/running_applications.h"

namespace installer::macos {

/// Keeps the NSRunningApplication alive (a strong reference), so that the
/// handle still answers after the process has ended; the system never reuses
/// an instance for a later process with the same identifier.
class MacRunningApplication final : public RunningApplication {
 public:
  explicit MacRunningApplication(NSRunningApplication* application);
  bool isTerminated() const override;
  std::optional<FileURL> bundleURL() const override;
  int processIdentifier() const override;
  bool isFinishedLaunching() const override;
  bool terminate() override;

 private:
  NSRunningApplication* application_;
};

}  // namespace installer::macos
