#include "browser_process.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "bundle_factory.h"
#include "sandbox.h"

namespace e2e {

BrowserProcess BrowserProcess::start(const Sandbox& sandbox, const fs::path& bundle,
                                     const Environment& extraEnvironment) {
  std::optional<std::string> name = infoString(bundle, "CFBundleExecutable");
  if (!name) throw HarnessError("start " + bundle.string() + ": Info.plist names no executable");
  return startProgram(sandbox, bundle / "Contents/MacOS" / *name, {}, extraEnvironment);
}

BrowserProcess BrowserProcess::startProgram(const Sandbox& sandbox, const fs::path& program,
                                            const std::vector<std::string>& arguments,
                                            const Environment& extraEnvironment) {
  Environment environment = sandbox.environment();
  for (const auto& [key, value] : extraEnvironment) environment[key] = value;
  ExecImage image(program, arguments, environment);
  UniqueFd devNull = openDevNull();
  pid_t pid = forkExec(image, [&] {
    ::setsid();
    ::dup2(devNull.get(), STDIN_FILENO);
    ::dup2(devNull.get(), STDOUT_FILENO);
    ::dup2(devNull.get(), STDERR_FILENO);
    return ::chdir("/") == 0 ? 0 : errno;
  });
  return BrowserProcess(pid);
}

BrowserProcess::BrowserProcess(BrowserProcess&& other) noexcept
    : pid_(other.pid_), exitStatus_(other.exitStatus_) {
  other.pid_ = -1;
}

BrowserProcess::~BrowserProcess() {
  if (pid_ <= 0 || exitStatus_) return;
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
}

bool BrowserProcess::hasEnded() {
  if (exitStatus_) return true;
  int status = 0;
  if (::waitpid(pid_, &status, WNOHANG) == pid_) exitStatus_ = exitStatusOf(status);
  return exitStatus_.has_value();
}

std::optional<int> BrowserProcess::waitForExit(std::chrono::milliseconds limit) {
  if (!exitStatus_) {
    if (auto status = waitForChild(pid_, limit)) exitStatus_ = exitStatusOf(*status);
  }
  return exitStatus_;
}

void BrowserProcess::sendSignal(int signal) const {
  if (pid_ > 0 && !exitStatus_) ::kill(pid_, signal);
}

}  // namespace e2e
