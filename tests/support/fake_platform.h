#pragma once

// In-memory stand-ins for the services a unit test cannot stage cheaply for
// real: running applications, alerts, the workspace, the clock and the run
// loop, preferences and signals. Each keeps public logs for tests to assert on.

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/services.h"

namespace installer::testing {

class FakeApplication final : public Application {
 public:
  void setAccessoryActivationPolicy() override { calls_.push_back("accessory"); }
  void activate() override { calls_.push_back("activate"); }
  /// Answers from `responses_` in order, -1001 when none is left.
  long runModal(const Alert& alert) override;

  std::vector<std::string> calls_;
  std::vector<Alert> alertsShown_;
  std::deque<long> responses_;
  /// Runs while an alert is shown, before it answers.
  std::function<void(const Alert&)> whileShown_;
};

/// A clock that moves only when the run loop waits or the thread sleeps.
class FakeClock final : public ProcessInfo {
 public:
  std::map<std::string, std::string> environment() override { return environment_; }
  double systemUptime() override { return now_; }
  /// Logs the reason; the activity counts in `activitiesHeld_` until it ends.
  std::unique_ptr<Activity> beginActivity(const std::string& reason) override;

  double now_ = 1000.0;
  std::map<std::string, std::string> environment_;
  std::vector<std::string> activitiesBegun_;
  int activitiesHeld_ = 0;
};

/// The main queue and run loop over a FakeClock. A pass runs queued blocks;
/// with nothing queued it waits out its limit while `pendingOperations_` is
/// non-zero, and answers false at once otherwise.
class FakeRunLoop final : public RunLoop {
 public:
  explicit FakeRunLoop(FakeClock& clock) : clock_(clock) {}
  bool runOnce(double limitSeconds) override;
  void sleep(double seconds) override;
  void dispatchToMain(std::function<void()> block) override;

  /// Runs `event` once the clock reaches `time` (during a pass or a sleep).
  void at(double time, std::function<void()> event);
  /// Blocks queued for the main thread and not yet run.
  std::size_t queuedBlocks() const { return queue_.size(); }

  int pendingOperations_ = 0;
  int passes_ = 0;
  std::vector<double> sleeps_;

 private:
  void advanceTo(double time);
  FakeClock& clock_;
  std::deque<std::function<void()>> queue_;
  std::multimap<double, std::function<void()>> events_;
};

class FakeRunningApplication final : public RunningApplication {
 public:
  FakeRunningApplication(int pid, std::optional<FileURL> bundle)
      : pid_(pid), bundle_(std::move(bundle)) {}
  bool isTerminated() const override { return terminated_; }
  std::optional<FileURL> bundleURL() const override { return bundle_; }
  int processIdentifier() const override { return pid_; }
  bool isFinishedLaunching() const override { return finishedLaunching_; }
  bool terminate() override;

  int pid_;
  std::optional<FileURL> bundle_;
  bool terminated_ = false;
  bool finishedLaunching_ = true;
  bool delivers_ = true;
  int terminateRequests_ = 0;
  /// Runs on each delivered request (for example to end the instance).
  std::function<void(FakeRunningApplication&)> onTerminate_;
  /// Runs on each request that is not delivered (for example to end the
  /// instance while the request was on its way).
  std::function<void(FakeRunningApplication&)> onUndelivered_;
};

class FakeRunningApplications final : public RunningApplications {
 public:
  std::vector<RunningApplicationHandle> runningApplications(
      const std::string& bundleIdentifier) override;

  /// Adds an instance listed under `bundleIdentifier`.
  std::shared_ptr<FakeRunningApplication> add(int pid, std::optional<FileURL> bundle,
                                              const std::string& bundleIdentifier);

  int listings_ = 0;
  /// Runs at the start of each listing.
  std::function<void()> onListing_;
  std::vector<std::pair<std::string, std::shared_ptr<FakeRunningApplication>>> instances_;
};

class FakeWorkspace final : public Workspace {
 public:
  struct Request {
    FileURL bundle;
    OpenConfiguration configuration;
    OpenCompletion completion;
  };
  void openApplication(const FileURL& bundle, const OpenConfiguration& configuration,
                       OpenCompletion completion) override;
  /// Answers from `registered_`; paths compared as given.
  bool isRegistered(const FileURL& bundle, const std::string& bundleIdentifier) override {
    return registered_.contains(bundleIdentifier + " " + bundle.path());
  }

  std::vector<Request> requests_;
  /// "IDENTIFIER PATH" of each registered application.
  std::set<std::string> registered_;
  /// Runs for each request after it is logged.
  std::function<void(Request&)> onOpen_;

  /// Calls the completion of request `index` on a thread of its own, as the
  /// platform does, and returns once that call has ended.
  void completeFromPlatformThread(std::size_t index, RunningApplicationHandle handle,
                                  std::exception_ptr error);
};

class FakePreferences final : public Preferences {
 public:
  std::optional<PropertyValue> copyValue(const std::string& key,
                                         const std::string& application) override;
  void setValue(const std::string& key, const PropertyValue& value,
                const std::string& application) override;
  bool synchronize(const std::string& application) override;

  std::map<std::string, std::map<std::string, PropertyValue>> values_;
  std::vector<std::string> reads_;
  std::vector<std::string> writes_;
  int synchronizations_ = 0;
  bool synchronizeSucceeds_ = true;
};

/// Flushes nothing; logs each call as "tree PATH" or "directories PATH...",
/// in order. `onFlush_`, given that entry, may throw to fail the call.
class FakeDurability final : public Durability {
 public:
  void flushTree(const FileURL& item) override { logged("tree " + item.path()); }
  void flushDirectories(const std::vector<FileURL>& directories) override;

  std::vector<std::string> flushes_;
  std::function<void(const std::string&)> onFlush_;

 private:
  void logged(const std::string& entry);
};

struct ExitCalled {
  int status;
};

/// The real POSIX calls for files; signals, standard error and exit are
/// recorded instead of done.
class FakePosix final : public Posix {
 public:
  explicit FakePosix(Posix& real) : real_(real) {}
  std::optional<FileStatus> lstat(const std::string& path) override {
    lstats_.push_back(path);
    std::optional<FileStatus> status = real_.lstat(path);
    if (afterStatus_) afterStatus_(path);
    return status;
  }
  std::optional<std::string> realpath(const std::string& path) override {
    return real_.realpath(path);
  }
  bool visitTree(const std::string& root,
                 const std::function<bool(const std::string&, const FileStatus&)>& visit) override {
    return real_.visitTree(root, visit);
  }
  std::optional<std::string> sha256OfFile(const std::string& path) override {
    return real_.sha256OfFile(path);
  }
  int openDirectory(const std::string& path) override { return real_.openDirectory(path); }
  int openDirectoryAt(int parent, const std::string& name) override {
    return real_.openDirectoryAt(parent, name);
  }
  std::optional<FileStatus> fstat(int descriptor) override { return real_.fstat(descriptor); }
  std::optional<FileStatus> lstatAt(int parent, const std::string& name) override {
    return real_.lstatAt(parent, name);
  }
  int makeDirectoryAt(int parent, const std::string& name, std::uint32_t mode) override {
    return real_.makeDirectoryAt(parent, name, mode);
  }
  int exchangeAt(int firstParent, const std::string& firstName, int secondParent,
                 const std::string& secondName) override {
    return real_.exchangeAt(firstParent, firstName, secondParent, secondName);
  }
  int moveAt(int fromParent, const std::string& fromName, int toParent,
             const std::string& toName) override {
    return real_.moveAt(fromParent, fromName, toParent, toName);
  }
  int removeTreeAt(int parent, const std::string& name, const FileStatus& expected) override {
    return real_.removeTreeAt(parent, name, expected);
  }
  bool lockExclusiveNonBlocking(int descriptor) override {
    return real_.lockExclusiveNonBlocking(descriptor);
  }
  void close(int descriptor) override { real_.close(descriptor); }
  std::uint32_t getuid() override { return uid_.value_or(real_.getuid()); }
  int kill(int processIdentifier, int signal) override;
  int exchange(const std::string& first, const std::string& second) override {
    return real_.exchange(first, second);
  }
  int symbolicLink(const std::string& target, const std::string& path) override {
    return real_.symbolicLink(target, path);
  }
  std::string strerror(int error) override { return real_.strerror(error); }
  void writeStandardError(const std::string& text) override { standardError_ += text; }
  /// Throws ExitCalled.
  [[noreturn]] void exit(int status) override;

  std::vector<std::pair<int, int>> signalsSent_;
  /// Every path given to `lstat`, in order.
  std::vector<std::string> lstats_;
  /// Runs after each `lstat`, with its path: a change made from outside
  /// between a look at an item and its use.
  std::function<void(const std::string&)> afterStatus_;
  std::string standardError_;
  /// Who the process is instead of its real user: everything then is another user's.
  std::optional<std::uint32_t> uid_;

 private:
  Posix& real_;
};

}  // namespace installer::testing
