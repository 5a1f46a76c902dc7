#include "tests/support/fake_platform.h"

#include <thread>

namespace installer::testing {

long FakeApplication::runModal(const Alert& alert) {
  alertsShown_.push_back(alert);
  if (whileShown_) whileShown_(alert);
  if (responses_.empty()) return modalResponseAbort;
  long response = responses_.front();
  responses_.pop_front();
  return response;
}

std::unique_ptr<Activity> FakeClock::beginActivity(const std::string& reason) {
  struct Held final : Activity {
    explicit Held(int& count) : count_(count) { ++count_; }
    ~Held() override { --count_; }
    int& count_;
  };
  activitiesBegun_.push_back(reason);
  return std::make_unique<Held>(activitiesHeld_);
}

void FakeRunLoop::advanceTo(double time) {
  while (!events_.empty() && events_.begin()->first <= time) {
    auto event = events_.begin();
    clock_.now_ = std::max(clock_.now_, event->first);
    std::function<void()> run = std::move(event->second);
    events_.erase(event);
    run();
  }
  clock_.now_ = std::max(clock_.now_, time);
}

bool FakeRunLoop::runOnce(double limitSeconds) {
  ++passes_;
  if (!queue_.empty()) {
    std::deque<std::function<void()>> blocks;
    blocks.swap(queue_);
    for (auto& block : blocks) block();
    return true;
  }
  if (pendingOperations_ == 0) return false;
  advanceTo(clock_.now_ + limitSeconds);
  std::deque<std::function<void()>> blocks;
  blocks.swap(queue_);
  for (auto& block : blocks) block();
  return true;
}

void FakeRunLoop::sleep(double seconds) {
  sleeps_.push_back(seconds);
  advanceTo(clock_.now_ + seconds);
}

void FakeRunLoop::dispatchToMain(std::function<void()> block) {
  queue_.push_back(std::move(block));
}

void FakeRunLoop::at(double time, std::function<void()> event) {
  events_.emplace(time, std::move(event));
}

bool FakeRunningApplication::terminate() {
  ++terminateRequests_;
  if (!delivers_) {
    if (onUndelivered_) onUndelivered_(*this);
    return false;
  }
  if (onTerminate_) onTerminate_(*this);
  return true;
}

std::vector<RunningApplicationHandle> FakeRunningApplications::runningApplications(
    const std::string& bundleIdentifier) {
  ++listings_;
  if (onListing_) onListing_();
  std::vector<RunningApplicationHandle> listed;
  for (auto& [identifier, instance] : instances_) {
    if (identifier == bundleIdentifier) listed.push_back(instance);
  }
  return listed;
}

std::shared_ptr<FakeRunningApplication> FakeRunningApplications::add(
    int pid, std::optional<FileURL> bundle, const std::string& bundleIdentifier) {
  auto instance = std::make_shared<FakeRunningApplication>(pid, std::move(bundle));
  instances_.emplace_back(bundleIdentifier, instance);
  return instance;
}

void FakeWorkspace::openApplication(const FileURL& bundle, const OpenConfiguration& configuration,
                                    OpenCompletion completion) {
  requests_.push_back(Request{bundle, configuration, std::move(completion)});
  if (onOpen_) onOpen_(requests_.back());
}

void FakeWorkspace::completeFromPlatformThread(std::size_t index, RunningApplicationHandle handle,
                                               std::exception_ptr error) {
  OpenCompletion completion = requests_.at(index).completion;
  std::thread platform([&] { completion(std::move(handle), std::move(error)); });
  platform.join();
}

std::optional<PropertyValue> FakePreferences::copyValue(const std::string& key,
                                                        const std::string& application) {
  reads_.push_back(key);
  auto values = values_.find(application);
  if (values == values_.end()) return std::nullopt;
  auto value = values->second.find(key);
  if (value == values->second.end()) return std::nullopt;
  return value->second;
}

void FakePreferences::setValue(const std::string& key, const PropertyValue& value,
                               const std::string& application) {
  writes_.push_back(key);
  values_[application][key] = value;
}

bool FakePreferences::synchronize(const std::string&) {
  ++synchronizations_;
  return synchronizeSucceeds_;
}

void FakeDurability::flushDirectories(const std::vector<FileURL>& directories) {
  std::string entry = "directories";
  for (const FileURL& directory : directories) entry += " " + directory.path();
  logged(entry);
}

void FakeDurability::logged(const std::string& entry) {
  flushes_.push_back(entry);
  if (onFlush_) onFlush_(entry);
}

int FakePosix::kill(int processIdentifier, int signal) {
  signalsSent_.emplace_back(processIdentifier, signal);
  return 0;
}

void FakePosix::exit(int status) { throw ExitCalled{status}; }

}  // namespace installer::testing
