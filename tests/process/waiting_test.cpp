#include "process/waiting.h"

#include "entry/installer_error.h"
#include "tests/support/platform_test.h"

namespace installer {
namespace {

constexpr double pass = 0.05;
constexpr double slack = 1e-6;
const std::string notQuit = "旧浏览器尚未正常退出，安装已取消。请完成浏览器中的操作后重试。";

class WaitTest : public testing::PlatformTest {};

TEST_F(WaitTest, ConditionThatHoldsAtOnceNeedsNoPassAndNoSleep) {
  int evaluations = 0;
  EXPECT_TRUE(wait(waitLimit, [&] { return ++evaluations > 0; }));
  EXPECT_EQ(evaluations, 1);
  EXPECT_EQ(runLoop_.passes_, 0);
  EXPECT_TRUE(runLoop_.sleeps_.empty());
  EXPECT_EQ(clock_.now_, 1000.0);
}

TEST_F(WaitTest, EvaluatesOnceMorePerPassAndTheLastEvaluationDecides) {
  const double start = clock_.now_;
  const struct {
    const char* name;
    double seconds;
    std::function<bool(double now)> holds;
    bool expected;
  } cases[] = {
      {"never", 1.0, [](double) { return false; }, false},
      {"only from the deadline on", 1.0, [&](double now) { return now >= start + 1.0; }, true},
      {"only from a pass before it", 1.0, [&](double now) { return now >= start + 0.5; }, true},
      {"25 s never", waitLimit, [](double) { return false; }, false},
  };
  for (const auto& c : cases) {
    clock_.now_ = start;
    runLoop_.passes_ = 0;
    int evaluations = 0;
    const bool result = wait(c.seconds, [&] {
      ++evaluations;
      return c.holds(clock_.now_);
    });
    EXPECT_EQ(result, c.expected) << c.name;
    EXPECT_EQ(evaluations, runLoop_.passes_ + 1) << c.name;
    if (c.expected) continue;
    EXPECT_GE(clock_.now_, start + c.seconds) << c.name;
    EXPECT_LE(clock_.now_, start + c.seconds + pass + slack) << c.name;
  }
}

TEST_F(WaitTest, SleepsInsteadOfSpinningOnlyWhenTheRunLoopHasNothingToWaitOn) {
  for (int pending : {0, 1}) {
    clock_.now_ = 1000.0;
    runLoop_.passes_ = 0;
    runLoop_.sleeps_.clear();
    runLoop_.pendingOperations_ = pending;
    EXPECT_FALSE(wait(2.0, [] { return false; })) << pending;
    EXPECT_GE(runLoop_.passes_, 40) << pending;
    EXPECT_LE(runLoop_.passes_, 41) << pending;
    if (pending == 0) {
      EXPECT_EQ(runLoop_.sleeps_, std::vector<double>(runLoop_.passes_, pass));
    } else {
      EXPECT_TRUE(runLoop_.sleeps_.empty());
    }
  }
}

class QuitTest : public testing::PlatformTest {
 protected:
  std::shared_ptr<testing::FakeRunningApplication> instance_ =
      running_.add(42, url("Quorvane浏览器.app"), QRVX_BROWSER_IDENTIFIER);

  std::string failureOfQuit() {
    try {
      quit(instance_);
      return "";
    } catch (const InstallerError& error) {
      return error.errorDescription().value_or("(none)");
    }
  }
};

TEST_F(QuitTest, EndsWhenTheInstanceEndsAndFailsOtherwise) {
  using Instance = testing::FakeRunningApplication;
  const struct {
    const char* name;
    std::function<void()> stage;
    std::string failure;
    int requests;
    double endsFrom, endsBy;  // the uptimes between which quit must return
  } cases[] = {
      {"already terminated", [this] { instance_->terminated_ = true; }, "", 0, 1000.0, 1000.0},
      {"undelivered but ended meanwhile",
       [this] {
         instance_->delivers_ = false;
         instance_->onUndelivered_ = [](Instance& i) { i.terminated_ = true; };
       },
       "", 1, 1000.0, 1000.0},
      {"undelivered and running", [this] { instance_->delivers_ = false; }, notQuit,
       1, 1000.0, 1000.0},
      {"ends within the wait",
       [this] {
         instance_->onTerminate_ = [this](Instance& i) {
           runLoop_.at(1003.0, [&i] { i.terminated_ = true; });
         };
       },
       "", 1, 1003.0, 1003.0 + pass + slack},
      {"keeps running", [] {}, notQuit, 1, 1025.0, 1025.0 + pass + slack},
  };
  for (const auto& c : cases) {
    clock_.now_ = 1000.0;
    instance_ = running_.add(42, url("Quorvane浏览器.app"), QRVX_BROWSER_IDENTIFIER);
    c.stage();
    const bool wasTerminated = instance_->terminated_;
    EXPECT_EQ(failureOfQuit(), c.failure) << c.name;
    EXPECT_EQ(instance_->terminateRequests_, c.requests) << c.name;
    EXPECT_GE(clock_.now_, c.endsFrom) << c.name;
    EXPECT_LE(clock_.now_, c.endsBy) << c.name;
    // Never forced: a failing quit leaves the instance as it was.
    if (!c.failure.empty()) {
      EXPECT_EQ(instance_->terminated_, wasTerminated) << c.name;
    }
  }
  EXPECT_TRUE(posix_.signalsSent_.empty());
}

}  // namespace
}  // namespace installer
