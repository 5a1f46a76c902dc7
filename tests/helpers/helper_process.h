#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace helpers_test {

/// How a helper ended: its exit status (-1 after a signal) and what it wrote
/// to standard error.
struct HelperOutcome {
  int status = -1;
  std::string standardError;
};

/// The built helper `name` (cp, codesign, lsregister).
std::string helperPath(const std::string& name);

/// A helper started as a real process, its standard error on a pipe.
class HelperProcess {
 public:
  /// Starts helper `name` with `arguments` and exactly `environment`
  /// ("NAME=value" entries; a plain PATH when empty).
  HelperProcess(const std::string& name, const std::vector<std::string>& arguments,
                const std::vector<std::string>& environment = {});
  HelperProcess(const HelperProcess&) = delete;
  HelperProcess& operator=(const HelperProcess&) = delete;
  HelperProcess(HelperProcess&& other) noexcept;
  ~HelperProcess();

  /// Waits for the process and answers how it ended.
  HelperOutcome finish();

 private:
  pid_t pid_ = -1;
  int errorFd_ = -1;
};

/// Starts the helper and waits for it.
HelperOutcome runHelper(const std::string& name, const std::vector<std::string>& arguments,
                        const std::vector<std::string>& environment = {});

}  // namespace helpers_test
