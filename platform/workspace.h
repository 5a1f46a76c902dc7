#pragma once

#include <exception>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "platform/file_url.h"
#include "platform/running_applications.h"

namespace installer {

struct OpenConfiguration {
  bool createsNewApplicationInstance = false;
  /// Variables added to the new instance's environment; unset when absent.
  std::optional<std::map<std::string, std::string>> environment;
};

/// Called once, on a thread of the platform's choosing, with a handle or an
/// error (either may be missing).
using OpenCompletion = std::function<void(RunningApplicationHandle, std::exception_ptr)>;

class Workspace {
 public:
  virtual ~Workspace() = default;
  /// Starts the application at `bundle` asynchronously and returns at once.
  virtual void openApplication(const FileURL& bundle, const OpenConfiguration& configuration,
                               OpenCompletion completion) = 0;
  /// Whether Launch Services holds a registration of the application at
  /// `bundle` itself (not merely of one with the same identifier elsewhere);
  /// false also when it cannot tell.
  virtual bool isRegistered(const FileURL& bundle, const std::string& bundleIdentifier) = 0;
};

}  // namespace installer
