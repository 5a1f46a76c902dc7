#import <Foundation/Foundation.h>
#include <dispatch/dispatch.h>

#include <mutex>
#include <utility>

#include "platform/macos/macos.h"
#include "platform/macos/macos_foundation.h"

namespace installer {
namespace {

class MacActivity final : public Activity {
 public:
  explicit MacActivity(id<NSObject> token) : token_(token) {}
  ~MacActivity() override {
    @autoreleasepool {
      [[NSProcessInfo processInfo] endActivity:token_];
    }
  }

 private:
  id<NSObject> token_;
};

}  // namespace

/// What the dispatched blocks share with the run loop that queued them.
struct SystemRunLoop::State {
  std::mutex mutex;
  std::exception_ptr failure;
};

SystemRunLoop::SystemRunLoop() : state_(std::make_shared<State>()) {}

bool SystemRunLoop::runOnce(double limitSeconds) {
  // A NaN limit would make a date that lies nowhere.
  const double limit = limitSeconds > 0 ? limitSeconds : 0;
  const BOOL ran = macos::withinAutoreleasePool([limit] {
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

void SystemRunLoop::dispatchToMain(std::function<void()> block) {
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

double SystemProcessInfo::systemUptime() { return [[NSProcessInfo processInfo] systemUptime]; }

std::unique_ptr<Activity> SystemProcessInfo::beginActivity(const std::string& reason) {
  return macos::withinAutoreleasePool([&reason]() -> std::unique_ptr<Activity> {
    id<NSObject> token = [[NSProcessInfo processInfo]
        beginActivityWithOptions:NSActivityUserInitiatedAllowingIdleSystemSleep
                          reason:macos::displayStringOfUTF8(reason)];
    return std::make_unique<MacActivity>(token);
  });
}

}  // namespace installer
