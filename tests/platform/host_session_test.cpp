#include "platform/host/host_session.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <stdexcept>

#include "platform/host/host_main_queue.h"
#include "platform/host/host_process_handle.h"
#include "tests/platform/host_test_bundles.h"

namespace installer::host {
namespace {

using namespace std::chrono_literals;
using fixtures::TemporaryFolder;
using testing::ChildProcess;
using testing::copyExecutable;
using testing::eventually;
using testing::uniqueIdentifier;
using testing::writeInfoPlist;

double processCPUSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// --- run loop -------------------------------------------------------------

TEST(HostRunLoopTest, AnswersFalseAtOnceWhenNothingIsQueuedOrPending) {
  HostRunLoop loop;
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(loop.runOnce(2.0));
  EXPECT_LT(secondsSince(start), 0.05);
}

TEST(HostRunLoopTest, RunsBlocksFromOtherThreadsOnTheMainThreadInTheNextPass) {
  HostRunLoop loop;
  std::vector<int> order;
  std::thread::id ranOn;
  std::thread producer([&] {
    loop.dispatchToMain([&] {
      order.push_back(1);
      ranOn = std::this_thread::get_id();
      // Queued during the pass: runs in the next one, not this one.
      loop.dispatchToMain([&] { order.push_back(3); });
    });
    loop.dispatchToMain([&] { order.push_back(2); });
  });
  producer.join();
  EXPECT_TRUE(loop.runOnce(0));
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  EXPECT_TRUE(loop.runOnce(0));
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
  EXPECT_FALSE(loop.runOnce(0));
}

TEST(HostRunLoopTest, WhilePendingAPassWaitsForABlockAndEndsWhenItComes) {
  HostRunLoop loop;
  loop.state()->beginPendingOperation();
  bool ran = false;
  // Timed from before the thread starts: a slow start (as under
  // ThreadSanitizer) must not count against the wait.
  auto start = std::chrono::steady_clock::now();
  std::thread producer([&] {
    std::this_thread::sleep_for(100ms);
    loop.dispatchToMain([&] { ran = true; });
  });
  EXPECT_TRUE(loop.runOnce(10.0));
  double waited = secondsSince(start);
  producer.join();
  EXPECT_TRUE(ran);
  EXPECT_GE(waited, 0.09);
  EXPECT_LT(waited, 2.0);

  // Still pending: a pass without blocks waits its limit, without spinning.
  double cpuBefore = processCPUSeconds();
  start = std::chrono::steady_clock::now();
  EXPECT_TRUE(loop.runOnce(0.3));
  EXPECT_GE(secondsSince(start), 0.29);
  EXPECT_LT(processCPUSeconds() - cpuBefore, 0.05);

  loop.state()->endPendingOperation();
  start = std::chrono::steady_clock::now();
  EXPECT_FALSE(loop.runOnce(2.0));
  EXPECT_LT(secondsSince(start), 0.05);
}

TEST(HostRunLoopTest, TheEndOfThePendingOperationWakesAWaitingPass) {
  HostRunLoop loop;
  loop.state()->beginPendingOperation();
  std::thread finisher([&] {
    std::this_thread::sleep_for(50ms);
    loop.state()->endPendingOperation();
  });
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(loop.runOnce(10.0));
  EXPECT_LT(secondsSince(start), 2.0);
  finisher.join();
  EXPECT_FALSE(loop.runOnce(0));
}

TEST(HostRunLoopTest, AWatchedProcessEndingWakesAPassOnce) {
  HostRunLoop loop;
  ChildProcess child("/bin/sleep", {"30"});
  std::optional<ProcessStat> stat = readProcessStat(child.pid());
  ASSERT_TRUE(stat);
  auto handle = std::make_shared<HostProcessHandle>(child.pid(), stat->startTime, "/S.app");
  std::thread ender([&] {
    std::this_thread::sleep_for(100ms);
    kill(child.pid(), SIGTERM);
  });
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(loop.runOnce(10.0));
  double waited = secondsSince(start);
  ender.join();
  EXPECT_GE(waited, 0.09);
  EXPECT_LT(waited, 2.0);
  EXPECT_TRUE(handle->isTerminated()) << "a zombie has exited";
  // Heard of once: the next pass has nothing left to wait on.
  start = std::chrono::steady_clock::now();
  EXPECT_FALSE(loop.runOnce(2.0));
  EXPECT_LT(secondsSince(start), 0.05);
}

TEST(HostRunLoopTest, ABlockThatThrowsLeavesTheBlocksBehindItQueued) {
  HostRunLoop loop;
  std::vector<int> order;
  loop.dispatchToMain([] { throw std::runtime_error("block failed"); });
  loop.dispatchToMain([&] { order.push_back(2); });
  EXPECT_THROW(loop.runOnce(0), std::runtime_error);
  loop.dispatchToMain([&] { order.push_back(3); });
  EXPECT_TRUE(loop.runOnce(0));
  EXPECT_EQ(order, (std::vector<int>{2, 3}));
}

extern "C" void ignoreSignal(int) {}

TEST(HostRunLoopTest, SleepLastsItsTimeThroughSignals) {
  struct sigaction handler {};
  handler.sa_handler = ignoreSignal;  // without SA_RESTART: nanosleep sees EINTR
  struct sigaction previous {};
  sigaction(SIGUSR1, &handler, &previous);
  pthread_t sleeper = pthread_self();
  std::thread interrupter([sleeper] {
    for (int i = 0; i < 3; ++i) {
      std::this_thread::sleep_for(40ms);
      pthread_kill(sleeper, SIGUSR1);
    }
  });
  HostRunLoop loop;
  auto start = std::chrono::steady_clock::now();
  loop.sleep(0.25);
  double slept = secondsSince(start);
  interrupter.join();
  sigaction(SIGUSR1, &previous, nullptr);
  EXPECT_GE(slept, 0.25);
  EXPECT_LT(slept, 1.0);
  start = std::chrono::steady_clock::now();
  loop.sleep(-1);
  loop.sleep(std::nan(""));
  EXPECT_LT(secondsSince(start), 0.05);
}

// --- process handles ------------------------------------------------------

TEST(HostProcessHandleTest, ParsesStateAndStartTimeAfterTheLastParenthesis) {
  std::string tail = " 1 1 1 0 -1 4194560 100 0 0 0 0 0 0 0 20 0 1 0 ";
  struct Case {
    std::string text;
    std::optional<char> state;
    std::uint64_t startTime = 0;
  };
  const std::vector<Case> cases = {
      {"42 (sleep) S" + tail + "123456 1000 2", 'S', 123456},
      {"42 (a) b) (c) Z" + tail + "77 0", 'Z', 77},
      {"42 (name with spaces) R" + tail + "9", 'R', 9},
      {"42 (x) S 1 1", std::nullopt},
      {"42 (x) S" + tail + "12ab", std::nullopt},
      {"no parenthesis", std::nullopt},
  };
  for (const Case& c : cases) {
    std::optional<ProcessStat> stat = parseProcessStat(c.text);
    ASSERT_EQ(stat.has_value(), c.state.has_value()) << c.text;
    if (!stat) continue;
    EXPECT_EQ(stat->state, *c.state) << c.text;
    EXPECT_EQ(stat->startTime, c.startTime) << c.text;
  }
}

TEST(HostProcessHandleTest, AHandleNeverSpeaksForAnotherProcessWithItsPid) {
  std::optional<ProcessStat> own = readProcessStat(getpid());
  ASSERT_TRUE(own);
  HostProcessHandle self(getpid(), own->startTime, "/Applications/Self.app");
  EXPECT_FALSE(self.isTerminated());
  EXPECT_TRUE(self.isFinishedLaunching());
  EXPECT_EQ(self.processIdentifier(), getpid());
  ASSERT_TRUE(self.bundleURL());
  EXPECT_EQ(self.bundleURL()->path(), "/Applications/Self.app");

  // The same pid with another start time is a later process: this handle's
  // process has ended, and it must not be signalled.
  HostProcessHandle earlier(getpid(), own->startTime + 1, "/Applications/Self.app");
  EXPECT_TRUE(earlier.isTerminated());
  EXPECT_FALSE(earlier.isFinishedLaunching());
  EXPECT_FALSE(earlier.terminate());
}

// --- running applications -------------------------------------------------

/// The pids of the listing, with each handle's bundle.
std::vector<std::pair<int, std::string>> listed(const std::string& identifier) {
  std::vector<std::pair<int, std::string>> found;
  for (const RunningApplicationHandle& handle :
       HostRunningApplications().runningApplications(identifier)) {
    std::optional<FileURL> bundle = handle->bundleURL();
    found.emplace_back(handle->processIdentifier(), bundle ? bundle->path() : "");
  }
  return found;
}

TEST(HostRunningApplicationsTest, ListsTheProcessesRunningABundlesExecutable) {
  TemporaryFolder folder;
  const std::string identifier = uniqueIdentifier("listing");
  const std::string other = uniqueIdentifier("other");
  const std::string& t = folder.path();
  // Where the executable lies, and which identifier the folder's Info.plist carries.
  struct Case {
    std::string executable;
    std::string infoFolder;
    std::string carried;
    bool listed;
  };
  const std::vector<Case> cases = {
      {"/A.app/Contents/MacOS/A", "/A.app", identifier, true},
      {"/A.app/Contents/MacOS/Second", "/A.app", identifier, false},  // not the main one
      {"/空 格 (1).app/Contents/MacOS/A", "/空 格 (1).app", identifier, true},
      {"/A.app/Contents/Helpers/Helper", "/A.app", identifier, false},
      {"/A.app/Contents/MacOS/Nested/N", "/A.app", identifier, false},
      {"/Plain/Contents/MacOS/P", "/Plain", identifier, false},
      {"/.app/Contents/MacOS/D", "/.app", identifier, false},
      {"/O.app/Contents/MacOS/A", "/O.app", other, false},
      {"/Bare.app/Contents/MacOS/Bare", "", "", false},
  };
  for (const Case& c : cases) {
    copyExecutable("/bin/sleep", t + c.executable);
    if (!c.infoFolder.empty()) writeInfoPlist(t + c.infoFolder, c.carried, "A");
  }
  std::vector<std::unique_ptr<ChildProcess>> children;
  std::vector<std::pair<int, std::string>> expected;
  for (const Case& c : cases) {
    children.push_back(
        std::make_unique<ChildProcess>(t + c.executable, std::vector<std::string>{"30"}));
    ASSERT_GT(children.back()->pid(), 0) << c.executable;
    if (c.listed) expected.emplace_back(children.back()->pid(), t + c.infoFolder);
  }
  // A process whose executable was deleted since it started is no instance.
  copyExecutable("/bin/sleep", t + "/A.app/Contents/MacOS/Deleted");
  ChildProcess deleted(t + "/A.app/Contents/MacOS/Deleted", {"30"});
  ASSERT_TRUE(eventually([&] {
    char target[4096];
    std::string link = "/proc/" + std::to_string(deleted.pid()) + "/exe";
    ssize_t n = readlink(link.c_str(), target, sizeof target);
    return n > 0 && std::string(target, static_cast<size_t>(n)).ends_with("/Deleted");
  }));
  std::filesystem::remove(t + "/A.app/Contents/MacOS/Deleted");
  // A child running the instance's executable again belongs to the instance;
  // the subshell of a shell is one.
  copyExecutable("/bin/sh", t + "/S.app/Contents/MacOS/A");
  writeInfoPlist(t + "/S.app", identifier, "A");
  ChildProcess shell(t + "/S.app/Contents/MacOS/A", {"-c", "(sleep 30; :) >/dev/null 2>&1 & wait"});
  expected.emplace_back(shell.pid(), t + "/S.app");
  const std::string pid = std::to_string(shell.pid());
  std::string subshell;
  ASSERT_TRUE(eventually([&] {
    subshell = fixtures::readFile("/proc/" + pid + "/task/" + pid + "/children");
    return !subshell.empty();
  }));
  // Its sleep is left to end by itself, its output not shared with the test's.
  struct Ender {
    int pid;
    ~Ender() { kill(pid, SIGKILL); }
  } endSubshell{std::atoi(subshell.c_str())};
  // A marker makes a helper, also once orphaned, and also in a title rewritten
  // into one argument; an orphan without one is an instance. Each blocks
  // opening the fifo, its pid left in a file.
  copyExecutable("/bin/sh", t + "/H.app/Contents/MacOS/A");
  writeInfoPlist(t + "/H.app", identifier, "A");
  const std::string fifo = t + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::vector<std::string> pidFiles;
  struct Killer {
    const std::vector<std::string>& files;
    ~Killer() {
      for (const std::string& file : files) {
        if (int pid = std::atoi(fixtures::readFile(file).c_str()); pid > 0) kill(pid, SIGKILL);
      }
    }
  } endHelpers{pidFiles};
  for (const char* marker :
       {"--type=renderer", "-contentproc", "A -forkserver", "", "--type=zygote"}) {
    pidFiles.push_back(fifo + std::to_string(pidFiles.size()));
    bool orphan = pidFiles.size() < 5;
    children.push_back(std::make_unique<ChildProcess>(
        t + "/H.app/Contents/MacOS/A",
        std::vector<std::string>{
            "-c", orphan ? "(read x <\"$0\") & echo $! >\"$1\"" : "echo $$ >\"$1\"; read x <\"$0\"",
            fifo, pidFiles.back(), marker}));
    std::string pid;
    ASSERT_TRUE(
        eventually([&] { return (pid = fixtures::readFile(pidFiles.back())).ends_with("\n"); }));
    if (orphan) {
      ASSERT_TRUE(children.back()->awaitExit(5s));
    }
    if (!*marker) expected.emplace_back(std::atoi(pid.c_str()), t + "/H.app");
  }
  std::sort(expected.begin(), expected.end());

  EXPECT_EQ(listed(identifier), expected);
  EXPECT_EQ(listed(other).size(), 1u);
  EXPECT_TRUE(listed(uniqueIdentifier("nobody")).empty());
  EXPECT_TRUE(listed("").empty());
}

TEST(HostRunningApplicationsTest, TerminateSendsSIGTERMAndTheHandleStaysTerminated) {
  TemporaryFolder folder;
  const std::string identifier = uniqueIdentifier("terminate");
  const std::string bundle = folder.path() + "/X.app";
  copyExecutable("/bin/sleep", bundle + "/Contents/MacOS/X");
  writeInfoPlist(bundle, identifier, "X");
  ChildProcess child(bundle + "/Contents/MacOS/X", {"30"});
  std::vector<RunningApplicationHandle> handles =
      HostRunningApplications().runningApplications(identifier);
  ASSERT_EQ(handles.size(), 1u);
  RunningApplicationHandle handle = handles[0];
  EXPECT_EQ(handle->processIdentifier(), child.pid());
  EXPECT_FALSE(handle->isTerminated());
  EXPECT_TRUE(handle->isFinishedLaunching());

  EXPECT_TRUE(handle->terminate());
  ASSERT_TRUE(child.awaitExit(5s));
  // A zombie has exited: it is terminated and no longer listed.
  EXPECT_TRUE(handle->isTerminated());
  EXPECT_FALSE(handle->isFinishedLaunching());
  EXPECT_TRUE(HostRunningApplications().runningApplications(identifier).empty());
  EXPECT_FALSE(handle->terminate());

  int status = child.reap();
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
  EXPECT_TRUE(handle->isTerminated());
  EXPECT_FALSE(handle->terminate());
  ASSERT_TRUE(handle->bundleURL());
  EXPECT_EQ(handle->bundleURL()->path(), bundle);
}

TEST(HostRunningApplicationsTest, OneListingCostsLittleProcessorTime) {
  HostRunningApplications applications;
  const std::string identifier = uniqueIdentifier("cost");
  constexpr int calls = 200;
  rusage before{}, after{};
  getrusage(RUSAGE_SELF, &before);
  for (int i = 0; i < calls; ++i) applications.runningApplications(identifier);
  getrusage(RUSAGE_SELF, &after);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  double used = seconds(after.ru_utime) - seconds(before.ru_utime) + seconds(after.ru_stime) -
                seconds(before.ru_stime);
  // The installer lists about 20 times a second while it watches for a quit;
  // the bound leaves room for slow machines and many processes.
  EXPECT_LT(used / calls, 0.005) << used / calls;
}

}  // namespace
}  // namespace installer::host
