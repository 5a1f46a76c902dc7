#include "process/waiting.h"

#include "entry/installer_error.h"
#include "platform/services.h"

namespace installer {
namespace {

/// The longest run-loop pass, and the sleep that replaces a pass that had
/// nothing to wait on.
constexpr double pollingStep = 0.05;

const char* const notQuitMessage =
    "旧浏览器尚未正常退出，安装已取消。请完成浏览器中的操作后重试。";

}  // namespace

bool wait(double seconds, const std::function<bool()>& until) {
  ProcessInfo& clock = *services().processInfo;
  RunLoop& runLoop = *services().runLoop;
  const double deadline = clock.systemUptime() + seconds;
  if (until()) return true;
  for (;;) {
    // A run loop with no input source returns at once; sleeping keeps the
    // poll from spinning.
    if (!runLoop.runOnce(pollingStep)) runLoop.sleep(pollingStep);
    const double now = clock.systemUptime();
    const bool holds = until();
    if (holds || now >= deadline) return holds;
  }
}

void quit(const RunningApplicationHandle& instance) {
  if (instance->isTerminated()) return;
  // An undelivered request is harmless when the instance ended meanwhile.
  if (!instance->terminate() && !instance->isTerminated()) throw InstallerError(notQuitMessage);
  if (!wait(waitLimit, [&] { return instance->isTerminated(); })) {
    throw InstallerError(notQuitMessage);
  }
}

}  // namespace installer
