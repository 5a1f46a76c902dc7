#import <Foundation/Foundation.h>
#include <dispatch/dispatch.h>

#include <mutex>
#include <utility>

#include "platform/macos/macos.h"
#include "platform/macos/macos_foundation.h"

namespace installer::macos {

std::map<std::string, std::string> MacProcessInfo::environment() {
  return posix::environmentVariables();
}

double MacProcessInfo::systemUptime() { return [[NSProcessInfo processInfo] systemUptime]; }

namespace {

class MacActivity final : public Activity {
 public:
  explicit MacActivity(id<NSObject> token) : token_(token) {}
  ~MacActivity() override {
    @autoreleasepool {
      [[NSProcessInfo processInfo] endActivity:token_];
    }
  }
  MacActivity(const MacActivity&) = delete;
  MacActivity& operator=(const MacActivity&) = delete;

 private:
  id<NSObject> token_;
};

}  // namespace

std::unique_ptr<Activity> MacProcessInfo::beginActivity(const std::string& reason) {
  return withinAutoreleasePool([&reason]() -> std::unique_ptr<Activity> {
    id<NSObject> token = [[NSProcessInfo processInfo]
        beginActivityWithOptions:NSActivityUserInitiatedAllowingIdleSystemSleep
                          reason:displayStringOfUTF8(reason)];
    return std::make_unique<MacActivity>(token);
  });
}

/// What the dispatched blocks share with the run loop that queued them.
struct MacRunLoop::State {
  std::mutex mutex;
  std::exception_ptr failure;
};

MacRunLoop::MacRunLoop() : state_(std::make_shared<State>()) {}

MacRunLoop::~MacRunLoop() = default;

bool MacRunLoop::runOnce(double limitSeconds) {
  // A NaN limit would make a date that lies nowhere.
  const double limit = limitSeconds > 0 ? limitSeconds : 0;
  const BOOL ran = withinAutoreleasePool([limit] {
    return [[NSRunLoop mainRunLoop] runMode:NSDefaultRunLoopMode
                                beforeDate:[NSDate dateWithTimeIntervalSinceNow:limit]];
  });
  std::exception_ptr failure;
  {
    std::lock_guard lock(state_->mutex);
    failure = std::exchange(state_->failure, nullptr);
  }
  if (failure) std::rethrow_exception(failure);
  return ran;
}

void MacRunLoop::sleep(double seconds) { posix::sleepFor(seconds); }

void MacRunLoop::dispatchToMain(std::function<void()> block) {
  std::shared_ptr<State> state = state_;
  dispatch_async(dispatch_get_main_queue(), ^{
    try {
      block();
    } catch (...) {
      std::lock_guard lock(state->mutex);
      if (!state->failure) state->failure = std::current_exception();
    }
  });
}

}  // namespace installer::macos
