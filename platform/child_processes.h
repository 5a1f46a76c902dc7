#pragma once

#include <string>
#include <vector>

namespace installer {

class ChildProcesses {
 public:
  virtual ~ChildProcesses() = default;
  /// Starts `executable` with `arguments` (no shell; environment, working
  /// directory and standard streams inherited), waits for it and answers its
  /// termination status, non-zero also after a signal. Throws PlatformError,
  /// naming the tool and the system's reason, when it cannot be started.
  virtual int run(const std::string& executable, const std::vector<std::string>& arguments) = 0;
};

}  // namespace installer
