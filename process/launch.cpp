#include "process/launch.h"

#include <exception>
#include <memory>
#include <optional>
#include <set>
#include <utility>

#include "entry/constants.h"
#include "entry/installer_error.h"
#include "inspect/bundle_info.h"
#include "platform/services.h"
#include "process/browser_processes.h"
#include "process/waiting.h"

namespace installer {
namespace {

/// How long the candidate must stay finished launching, in seconds.
constexpr double stabilityTime = 2.0;
/// How long after the request a reported open error may end the watch.
constexpr double openErrorGrace = 4.0;
const char* const dataRootVariable = "QRVX_DATA_ROOT";

/// Written on the main thread by the open request's completion, which may
/// arrive after `launch` has returned; hence shared.
using OpenErrorSlot = std::shared_ptr<std::exception_ptr>;

OpenConfiguration newInstanceConfiguration() {
  OpenConfiguration configuration;
  configuration.createsNewApplicationInstance = true;
  const std::map<std::string, std::string> environment = services().processInfo->environment();
  const auto dataRoot = environment.find(dataRootVariable);
  if (dataRoot != environment.end() && !dataRoot->second.empty()) {
    configuration.environment = std::map<std::string, std::string>{*dataRoot};
  }
  return configuration;
}

/// The completion runs on a platform thread: it only hands its values to the
/// main queue, where the wait's passes take them up.
OpenCompletion completionStoringInto(OpenErrorSlot slot) {
  RunLoop* mainQueue = services().runLoop;
  return [mainQueue, slot = std::move(slot)](RunningApplicationHandle handle,
                                             std::exception_ptr error) {
    mainQueue->dispatchToMain([slot, handle = std::move(handle), error = std::move(error)] {
      if (handle) return;
      *slot = error ? error
                    : std::make_exception_ptr(InstallerError("macOS 未能打开浏览器。"));
    });
  };
}

/// The watch over the instances at one location; `accepted()` answers whether
/// one instance has stayed finished launching for the stability time.
class LaunchWatch {
 public:
  LaunchWatch(const FileURL& location,
              const std::function<void(const RunningApplicationHandle&)>& onLaunch,
              OpenErrorSlot openError, double start)
      : location_(location), onLaunch_(onLaunch), openError_(std::move(openError)),
        start_(start) {}

  bool accepted() const { return launched_; }

  /// One evaluation: whether the watch is over.
  bool operator()() {
    const double now = services().processInfo->systemUptime();
    const std::vector<RunningApplicationHandle> instances = browserProcesses(location_);
    report(instances);
    followCandidate(instances, now);
    if (launched_ || !instances.empty()) return launched_;
    // Nothing runs there: a failed request ends the watch, yet not before the
    // grace time, so an instance that shows up despite the error still counts.
    return *openError_ && now - start_ >= openErrorGrace;
  }

 private:
  struct Candidate {
    int processIdentifier;
    double since;
  };

  void report(const std::vector<RunningApplicationHandle>& instances) {
    for (const RunningApplicationHandle& instance : instances) {
      const bool isNew = seen_.insert(instance->processIdentifier()).second;
      if (isNew && onLaunch_) onLaunch_(instance);
    }
  }

  // The candidate stays while it is finished launching, even when another
  // finished instance is listed before it; any change restarts the clock.
  void followCandidate(const std::vector<RunningApplicationHandle>& instances, double now) {
    std::optional<int> firstFinished;
    bool candidateFinished = false;
    for (const RunningApplicationHandle& instance : instances) {
      if (!instance->isFinishedLaunching()) continue;
      const int identifier = instance->processIdentifier();
      if (!firstFinished) firstFinished = identifier;
      if (candidate_ && candidate_->processIdentifier == identifier) candidateFinished = true;
    }
    if (candidateFinished) {
      launched_ = now - candidate_->since >= stabilityTime;
    } else if (!firstFinished) {
      candidate_.reset();
    } else {
      candidate_ = Candidate{*firstFinished, now};
    }
  }

  const FileURL& location_;
  const std::function<void(const RunningApplicationHandle&)>& onLaunch_;
  OpenErrorSlot openError_;
  double start_;
  std::set<int> seen_;
  std::optional<Candidate> candidate_;
  bool launched_ = false;
};

}  // namespace

void launch(const FileURL& location,
            const std::function<void(const RunningApplicationHandle&)>& onLaunch) {
  // Links may have changed since verification: only what resolves inside
  // the bundle is started.
  if (!mainFilesInside(location)) throw signatureFailure(location.path());
  const OpenConfiguration configuration = newInstanceConfiguration();
  auto openError = std::make_shared<std::exception_ptr>();
  workspace().openApplication(location, configuration, completionStoringInto(openError));
  const double start = services().processInfo->systemUptime();

  LaunchWatch watch(location, onLaunch, openError, start);
  wait(waitLimit, std::ref(watch));
  if (watch.accepted()) return;
  if (*openError) std::rethrow_exception(*openError);
  throw InstallerError("浏览器启动未完成或启动时退出。");
}

}  // namespace installer
