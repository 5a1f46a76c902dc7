#include "process/launch.h"

#include <filesystem>

#include "entry/installer_error.h"
#include "platform/platform_error.h"
#include "tests/support/platform_test.h"

namespace installer {
namespace {

using testing::FakeRunningApplication;
using testing::FakeWorkspace;

constexpr double pass = 0.05;
constexpr double slack = 1e-6;
const std::string notStarted = "浏览器启动未完成或启动时退出。";
const std::string notOpened = "macOS 未能打开浏览器。";
const std::string openFailure = "open Quorvane浏览器.app: the application cannot be opened";

class LaunchTest : public testing::PlatformTest {
 protected:
  LaunchTest() {
    testing::makeBundle(location_.path(), {.seal = false});
    running_.onListing_ = [this] { listings_.push_back(clock_.now_); };
  }

  /// An instance at `location`, listed from `appears` on (now when absent).
  std::shared_ptr<FakeRunningApplication> instance(int pid, std::optional<double> appears = {},
                                                   bool finished = true,
                                                   std::optional<FileURL> at = {}) {
    auto created = std::make_shared<FakeRunningApplication>(pid, at.value_or(location_));
    created->finishedLaunching_ = finished;
    auto list = [this, created] { running_.instances_.emplace_back(browserIdentifier_, created); };
    if (appears) {
      runLoop_.at(*appears, list);
    } else {
      list();
    }
    return created;
  }

  /// The message `launch` raises ("platform: ..." for a platform error), or "".
  std::string failureOfLaunch(
      const std::function<void(const RunningApplicationHandle&)>& onLaunch = {}) {
    try {
      launch(location_, onLaunch);
      return "";
    } catch (const InstallerError& error) {
      return error.errorDescription().value_or("(none)");
    } catch (const PlatformError& error) {
      return std::string("platform: ") + error.what();
    }
  }

  /// Whether the watch ended at the first evaluation at least `seconds` after
  /// the first evaluation at or after `since`.
  bool endedFirstAfter(double since, double seconds) const {
    std::optional<double> first;
    double previous = 0;
    for (double listed : listings_) {
      if (!first && listed >= since) first = listed;
      if (first && listed - *first >= seconds) {
        return listed == listings_.back() && previous - *first < seconds;
      }
      previous = listed;
    }
    return false;
  }

  std::string browserIdentifier_ = QRVX_BROWSER_IDENTIFIER;
  FileURL location_ = url("Applications/Quorvane浏览器.app");
  std::vector<double> listings_;
};

TEST_F(LaunchTest, AcceptsTheCandidateAfterItStayedFinishedForTwoSeconds) {
  const struct {
    const char* name;
    std::function<void()> stage;
    double candidateSince;
  } cases[] = {
      {"already running and finished", [this] { instance(1); }, 1000.0},
      {"appears, finishes later",
       [this] {
         auto a = instance(1, 1000.5, false);
         runLoop_.at(1001.0, [a] { a->finishedLaunching_ = true; });
       },
       1001.0},
      {"candidate ends at 1.9 s, the next one's clock starts then",
       [this] {
         auto a = instance(1);
         instance(2);
         runLoop_.at(1001.9, [a] { a->terminated_ = true; });
       },
       1001.9},
      {"an earlier-listed instance that finishes later does not displace it",
       [this] {
         auto b = instance(2, {}, false);
         instance(1);
         runLoop_.at(1001.0, [b] { b->finishedLaunching_ = true; });
       },
       1000.0},
      {"candidate stops being finished, the clock restarts",
       [this] {
         auto a = instance(1);
         runLoop_.at(1001.0, [a] { a->finishedLaunching_ = false; });
         runLoop_.at(1001.5, [a] { a->finishedLaunching_ = true; });
       },
       1001.5},
      {"instances elsewhere do not count",
       [this] {
         instance(9, {}, true, url("Other/Quorvane浏览器.app"));
         instance(1, 1003.0);
       },
       1003.0},
  };
  for (const auto& c : cases) {
    clock_.now_ = 1000.0;
    running_.instances_.clear();
    listings_.clear();
    c.stage();
    EXPECT_EQ(failureOfLaunch(), "") << c.name;
    EXPECT_TRUE(endedFirstAfter(c.candidateSince, 2.0)) << c.name << " ended at " << clock_.now_;
  }
}

TEST_F(LaunchTest, FailsWithTheOpenErrorOrAfterTheWatchLimit) {
  using Values = std::pair<bool, bool>;  // the completion carries a handle, an error
  const struct {
    const char* name;
    std::function<void()> stage;
    std::optional<Values> completesAtOnce;
    std::string failure;
    double endsFrom;
  } cases[] = {
      {"open error, nothing runs", [] {}, Values{false, true},
       "platform: " + openFailure, 1004.0},
      {"neither handle nor error", [] {}, Values{false, false}, notOpened, 1004.0},
      {"handle only, nothing runs", [] {}, Values{true, false}, notStarted, 1025.0},
      {"handle and error", [] {}, Values{true, true}, notStarted, 1025.0},
      {"no completion, nothing runs", [] {}, std::nullopt, notStarted, 1025.0},
      {"finishes and exits within 2 s",
       [this] {
         auto a = instance(1, 1000.5);
         runLoop_.at(1002.4, [a] { a->terminated_ = true; });
       },
       std::nullopt, notStarted, 1025.0},
      {"never finishes", [this] { instance(1, 1000.5, false); }, std::nullopt,
       notStarted, 1025.0},
      {"open error while an instance runs", [this] { instance(1, {}, false); },
       Values{false, true}, "platform: " + openFailure, 1025.0},
      {"open error, the instance ends after the grace time",
       [this] {
         auto a = instance(1, {}, false);
         runLoop_.at(1006.0, [a] { a->terminated_ = true; });
       },
       Values{false, true}, "platform: " + openFailure, 1006.0},
      {"open error reported late",
       [this] {
         runLoop_.at(1010.0, [this] {
           workspace_.completeFromPlatformThread(
               0, nullptr, std::make_exception_ptr(PlatformError(openFailure)));
         });
       },
       std::nullopt, "platform: " + openFailure, 1010.0},
  };
  for (const auto& c : cases) {
    clock_.now_ = 1000.0;
    running_.instances_.clear();
    workspace_.requests_.clear();
    workspace_.onOpen_ = {};
    std::optional<std::size_t> queuedByCompletion;
    if (c.completesAtOnce) {
      workspace_.onOpen_ = [&](FakeWorkspace::Request&) {
        RunningApplicationHandle handle;
        if (c.completesAtOnce->first) {
          handle = std::make_shared<FakeRunningApplication>(1, location_);
        }
        std::exception_ptr error;
        if (c.completesAtOnce->second) error = std::make_exception_ptr(PlatformError(openFailure));
        workspace_.completeFromPlatformThread(0, handle, error);
        queuedByCompletion = runLoop_.queuedBlocks();
      };
    }
    c.stage();
    EXPECT_EQ(failureOfLaunch(), c.failure) << c.name;
    EXPECT_GE(clock_.now_, c.endsFrom) << c.name;
    EXPECT_LE(clock_.now_, c.endsFrom + pass + slack) << c.name;
    // The platform thread only hands its values over to the main queue.
    if (c.completesAtOnce) {
      EXPECT_EQ(queuedByCompletion, 1u) << c.name;
    }
  }
}

TEST_F(LaunchTest, AnExecutableThatNowLeadsOutsideTheBundleIsNotStarted) {
  const std::string executable = location_.path() + "/Contents/MacOS/Quorvane浏览器";
  std::filesystem::remove(executable);
  std::filesystem::create_symlink(root() + "/elsewhere", executable);
  testing::writeFile(root() + "/elsewhere", "#!/bin/sh\n");
  EXPECT_EQ(failureOfLaunch(), "应用签名校验失败。\n" + location_.path());
  EXPECT_TRUE(workspace_.requests_.empty());
}

TEST_F(LaunchTest, AsksForANewInstanceAndPassesOnlyTheDataRoot) {
  using Environment = std::map<std::string, std::string>;
  const struct {
    Environment own;
    std::optional<Environment> passed;
  } cases[] = {
      {{{"HOME", "/home/u"}, {"PATH", "/bin"}}, std::nullopt},
      {{{"QRVX_DATA_ROOT", ""}, {"HOME", "/home/u"}}, std::nullopt},
      {{{"QRVX_DATA_ROOT", "/data root"}, {"HOME", "/home/u"}, {"PATH", "/bin"}},
       Environment{{"QRVX_DATA_ROOT", "/data root"}}},
  };
  for (const auto& c : cases) {
    clock_.now_ = 1000.0;
    running_.instances_.clear();
    workspace_.requests_.clear();
    runLoop_.passes_ = 0;
    running_.listings_ = 0;
    clock_.environment_ = c.own;
    instance(1);
    EXPECT_EQ(failureOfLaunch(), "");
    ASSERT_EQ(workspace_.requests_.size(), 1u);
    const FakeWorkspace::Request& request = workspace_.requests_[0];
    EXPECT_EQ(request.bundle, location_);
    EXPECT_TRUE(request.configuration.createsNewApplicationInstance);
    EXPECT_EQ(request.configuration.environment, c.passed);
    // One listing for every evaluation, nothing more.
    EXPECT_EQ(running_.listings_, runLoop_.passes_ + 1);
  }
}

TEST_F(LaunchTest, ReportsEachInstanceAtTheLocationOnceInListOrderWhileWatching) {
  std::vector<std::pair<int, double>> reported;
  auto first = instance(10, {}, false);
  instance(20, {}, true, url("Other/Quorvane浏览器.app"));
  instance(40)->terminated_ = true;
  instance(30, 1001.0, false);
  instance(35, 1001.0, false);
  runLoop_.at(1002.0, [first] { first->finishedLaunching_ = true; });
  runLoop_.at(1005.0, [this] { instance(50); });
  EXPECT_EQ(failureOfLaunch([&](const RunningApplicationHandle& handle) {
              reported.emplace_back(handle->processIdentifier(), clock_.now_);
            }),
            "");
  ASSERT_EQ(reported.size(), 3u);
  EXPECT_EQ(reported[0], std::make_pair(10, 1000.0));
  EXPECT_EQ(reported[1].first, 30);
  EXPECT_EQ(reported[2].first, 35);
  EXPECT_EQ(reported[1].second, reported[2].second);
  EXPECT_LE(reported[1].second, 1001.0 + pass + slack);

  // After the return: a new instance and a late completion reach nobody.
  runLoop_.at(clock_.now_ + 1.0, [] {});
  runLoop_.sleep(2.0);
  workspace_.completeFromPlatformThread(0, nullptr,
                                        std::make_exception_ptr(PlatformError(openFailure)));
  EXPECT_EQ(runLoop_.queuedBlocks(), 1u);
  EXPECT_TRUE(runLoop_.runOnce(pass));
  EXPECT_EQ(runLoop_.queuedBlocks(), 0u);
  EXPECT_EQ(reported.size(), 3u);
}

TEST_F(LaunchTest, ACompletionAfterAFailedLaunchWritesIntoItsOwnSlot) {
  EXPECT_EQ(failureOfLaunch(), notStarted);
  workspace_.completeFromPlatformThread(0, nullptr, nullptr);
  EXPECT_TRUE(runLoop_.runOnce(pass));
  // The next launch starts with an empty slot of its own.
  instance(1);
  EXPECT_EQ(failureOfLaunch(), "");
}

}  // namespace
}  // namespace installer
