// The installer's promise under faults from outside: whatever system call
// fails, and wherever the process is killed, the installed browser is never
// lost, never half replaced and never replaced by something unverified.
//
// Each sweep stages its scenario once without a fault to find the injection
// points, then once per point with the fault. QRVX_FAULT_POINTS bounds the
// points per sweep beside the exchange, the lock and the signal, which are
// always among them; 0 sweeps every point. QRVX_FAULT_REPORT names a file
// that gets one tab-separated line per run.
//
// The power-cut sweeps run on a volume of their own (root only): first the
// scenario without a crash, its power cut a few seconds after the installer
// ended; then a crash at each point, the cut following at once.

#include "fault_sweep.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <set>

#include "failure_report.h"

namespace faults {
namespace {

std::size_t pointBudget() {
  const char* configured = std::getenv("QRVX_FAULT_POINTS");
  return configured ? std::strtoul(configured, nullptr, 10) : 3;
}

/// QRVX_FAULT_ONLY=CALL:N runs that one point of every sweep.
std::optional<InjectionPoint> onlyPoint() {
  const char* configured = std::getenv("QRVX_FAULT_ONLY");
  if (!configured) return std::nullopt;
  std::string text = configured;
  auto colon = text.find(':');
  if (colon == std::string::npos) return std::nullopt;
  return InjectionPoint{text.substr(0, colon), std::atoi(text.c_str() + colon + 1)};
}

/// The points a bounded sweep takes: the first invocations of the exchange,
/// the lock and the signal to the old browser always, and `budget` of the
/// others evenly spread. A power cut can only undo what is not on the disk
/// yet, so its sweep keeps the renames (the exchange, the moves into place
/// and to the Trash) and a third of the others.
std::vector<InjectionPoint> chosenPoints(const std::vector<InjectionPoint>& all, std::size_t budget,
                                         Fault fault) {
  if (std::optional<InjectionPoint> only = onlyPoint()) {
    if (std::find(all.begin(), all.end(), *only) == all.end()) return {};
    return {*only};
  }
  if (budget == 0 || all.size() <= budget) return all;
  const std::set<std::string> always =
      fault == Fault::powerCut
          ? std::set<std::string>{"renameat2", "rename"}
          : std::set<std::string>{"renameat2", "flock", "kill", "pidfd_send_signal"};
  if (fault == Fault::powerCut) budget /= 3;
  std::vector<InjectionPoint> chosen;
  std::vector<InjectionPoint> others;
  for (const InjectionPoint& point : all)
    (always.contains(point.systemCall) && point.invocation <= 2 ? chosen : others).push_back(point);
  for (std::size_t index = 0; index < budget && !others.empty(); ++index)
    chosen.push_back(others[index * others.size() / budget]);
  return chosen;
}

void report(Scenario scenario, Fault fault, const InjectionPoint& point, const TracedRun& run,
            const std::vector<std::string>& violations) {
  const char* path = std::getenv("QRVX_FAULT_REPORT");
  if (!path) return;
  std::ofstream out(path, std::ios::app);
  std::string joined;
  for (const std::string& violation : violations) joined += (joined.empty() ? "" : "; ") + violation;
  std::replace(joined.begin(), joined.end(), '\n', ' ');  // one line per run
  out << nameOf(scenario) << '\t' << nameOf(fault) << '\t' << point.systemCall << '\t' << point.invocation
      << '\t' << (run.injected ? "reached" : "not reached") << '\t' << outcomeOf(run) << '\t'
      << (violations.empty() ? "held" : joined) << '\n';
}

/// Resources in every bundle of a power-cut sweep: enough that data not yet
/// written shows as damaged bundles, little enough to keep the runs quick.
constexpr std::size_t powerCutResources = std::size_t{8} << 20;
/// When a run that ended by itself loses its power: past the volume's journal
/// commit (every second), well short of the write-back of its data (30 s).
constexpr std::chrono::milliseconds settledCut{3000};

std::vector<std::string> violationsAfter(e2e::Sandbox& sandbox, const StagedScenario& staged,
                                         const TracedRun& run, Fault fault,
                                         const InjectionPoint& point) {
  std::vector<std::string> violations = invariantViolations(sandbox, staged, run);
  auto add = [&](std::vector<std::string> more) {
    violations.insert(violations.end(), more.begin(), more.end());
  };
  if (fault == Fault::powerCut) add(doneViolations(staged, run));
  if (fault == Fault::kill || fault == Fault::powerCut) {
    add(reinstallViolations(sandbox, staged));
  } else {
    add(endingViolations(staged, run, point));
  }
  return violations;
}

void sweep(Scenario scenario, Fault fault) {
  std::optional<PowerCutVolume> volume;
  if (fault == Fault::powerCut) {
    if (::geteuid() != 0)
      GTEST_SKIP() << "skipped: the power-cut lane mounts a loop device, which needs root";
    volume.emplace();
  }
  const PowerCutVolume* onVolume = volume ? &*volume : nullptr;
  const std::size_t resources = volume ? powerCutResources : 0;
  auto newSandbox = [&] {
    return volume ? std::make_unique<e2e::Sandbox>(volume->mountPoint())
                  : std::make_unique<e2e::Sandbox>();
  };
  // Stages the scenario; on a volume, settled on the disk as a user's would be.
  auto stage = [&](e2e::Sandbox& sandbox) {
    auto staged = std::make_unique<StagedScenario>(sandbox, scenario, resources);
    if (volume) volume->flush();
    return staged;
  };

  std::vector<InjectionPoint> points;
  {
    auto sandbox = newSandbox();
    auto staged = stage(*sandbox);
    TracedRun reference =
        runTraced(*sandbox, *staged, sweptSystemCalls(), std::nullopt, onVolume, settledCut);
    // Without a fault the scenario ends as it always does; anything else (a
    // browser of another test seen, say) would make its points meaningless.
    const int expected = scenario == Scenario::updateWhoseLaunchFails ? 1 : 0;
    ASSERT_EQ(reference.exitStatus, std::optional<int>(expected))
        << "the run without a fault ended unexpectedly: " << outcomeOf(reference);
    points = injectionPoints(reference.trace);
    if (volume) {
      // The cut some time after the end: what the user was told must hold.
      const InjectionPoint none{"none", 0};
      std::vector<std::string> violations =
          violationsAfter(*sandbox, *staged, reference, fault, none);
      report(scenario, fault, none, reference, violations);
      EXPECT_EQ(violations, std::vector<std::string>{})
          << "power cut " << settledCut.count() << " ms after the end: " << outcomeOf(reference);
    } else {
      ASSERT_EQ(invariantViolations(*sandbox, *staged, reference), std::vector<std::string>{});
    }
  }
  ASSERT_FALSE(points.empty());
  std::vector<InjectionPoint> chosen = chosenPoints(points, pointBudget(), fault);
  std::cout << nameOf(scenario) << ", " << nameOf(fault) << ": " << chosen.size() << " of "
            << points.size() << " injection points\n";
  for (const InjectionPoint& point : chosen) {
    SCOPED_TRACE(std::string(nameOf(fault)) + " at " + point.systemCall + " #" +
                 std::to_string(point.invocation));
    e2e::runCase([&] {
      auto sandbox = newSandbox();
      auto staged = stage(*sandbox);
      TracedRun run =
          runTraced(*sandbox, *staged, {point.systemCall}, std::make_pair(point, fault), onVolume);
      std::vector<std::string> violations = violationsAfter(*sandbox, *staged, run, fault, point);
      report(scenario, fault, point, run, violations);
      if (const char* traces = std::getenv("QRVX_FAULT_TRACES"); traces && !violations.empty()) {
        std::ofstream(std::string(traces) + "/" + nameOf(fault) + "-" + point.systemCall + "-" +
                      std::to_string(point.invocation) + ".trace")
            << run.trace;
      }
      EXPECT_EQ(violations, std::vector<std::string>{})
          << outcomeOf(run) << "\nstandard error: " << e2e::visible(run.standardError);
    });
  }
}

TEST(FaultSweep, FreshInstallationKilled) { sweep(Scenario::freshInstallation, Fault::kill); }
TEST(FaultSweep, FreshInstallationEIO) { sweep(Scenario::freshInstallation, Fault::eio); }
TEST(FaultSweep, FreshInstallationENOSPC) { sweep(Scenario::freshInstallation, Fault::enospc); }
TEST(FaultSweep, FreshInstallationEACCES) { sweep(Scenario::freshInstallation, Fault::eacces); }
TEST(FaultSweep, UpdateKilled) { sweep(Scenario::updateWhileRunning, Fault::kill); }
TEST(FaultSweep, UpdateEIO) { sweep(Scenario::updateWhileRunning, Fault::eio); }
TEST(FaultSweep, UpdateENOSPC) { sweep(Scenario::updateWhileRunning, Fault::enospc); }
TEST(FaultSweep, UpdateEACCES) { sweep(Scenario::updateWhileRunning, Fault::eacces); }
TEST(FaultSweep, FailedLaunchKilled) { sweep(Scenario::updateWhoseLaunchFails, Fault::kill); }
TEST(FaultSweep, FailedLaunchEIO) { sweep(Scenario::updateWhoseLaunchFails, Fault::eio); }
TEST(FaultSweep, FailedLaunchENOSPC) { sweep(Scenario::updateWhoseLaunchFails, Fault::enospc); }
TEST(FaultSweep, FailedLaunchEACCES) { sweep(Scenario::updateWhoseLaunchFails, Fault::eacces); }
TEST(FaultSweep, FreshInstallationPowerCut) { sweep(Scenario::freshInstallation, Fault::powerCut); }
TEST(FaultSweep, UpdatePowerCut) { sweep(Scenario::updateWhileRunning, Fault::powerCut); }
TEST(FaultSweep, FailedLaunchPowerCut) { sweep(Scenario::updateWhoseLaunchFails, Fault::powerCut); }

}  // namespace
}  // namespace faults
