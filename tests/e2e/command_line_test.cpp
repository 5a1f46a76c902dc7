// Command lines the installer refuses: each ends in the failure report and
// touches nothing.

#include <gtest/gtest.h>

#include <thread>

#include "failure_report.h"
#include "harness.h"

namespace e2e {
namespace {

const std::string incomplete = "安装参数不完整。";

std::string unsupported(const std::string& key) { return "不支持的安装参数 " + key + "。"; }

const std::string wrongName = "目标应用名必须为 Quorvane浏览器.app。";

struct CommandLineCase {
  std::vector<std::string> arguments;
  std::string description;
};

TEST(CommandLine, EveryRefusedCommandLineEndsInTheFailureReportAndTouchesNothing) {
  const CommandLineCase cases[] = {
      {{"--source"}, incomplete},
      {{"--source", ""}, incomplete},
      {{"--source=/x"}, incomplete},
      {{"--source", "x", "--bogus"}, incomplete},
      {{"--source", "a", "--source"}, incomplete},
      {{"--destination", ""}, incomplete},
      {{"--current-app", ""}, incomplete},
      // The value is tested before the key.
      {{"--bogus", ""}, incomplete},
      // The first failing pair decides.
      {{"--bogus", "x", "--source", "y"}, unsupported("--bogus")},
      {{"--bogus", "x", "--source"}, unsupported("--bogus")},
      {{"--Source", "x"}, unsupported("--Source")},
      {{"", "x"}, unsupported("")},
      {{"-psn", "x"}, unsupported("-psn")},
      {{"--destination", "/somewhere/Other.app"}, wrongName},
      {{"--destination", "/somewhere/Quorvane浏览器.APP"}, wrongName},
      {{"--destination", "/somewhere/Quorvane浏览器.app/.."}, wrongName},
      {{"--destination", "~/Other.app"}, wrongName},
      // The name is checked only after every pair was read.
      {{"--destination", "/somewhere/Other.app", "--bogus", "x"}, unsupported("--bogus")},
      // Process serial number arguments go before pairing, wherever they stand.
      {{"-psn_1", "--source"}, incomplete},
      {{"--source", "-psn_9", "--bogus", "x"}, incomplete},
      {{"-psn_0_12345", "--bogus", "-psn_9", "x"}, unsupported("--bogus")},
      {{"--bogus", "x", "-psn_0_1"}, unsupported("--bogus")},
      {{"--destination", "-psn_2", "/somewhere/Other.app"}, wrongName},
  };
  for (const auto& testCase : cases) {
    SCOPED_TRACE(joinedArguments(testCase.arguments));
    runCase([&] {
      Sandbox sandbox;
      TreeSnapshot before = snapshotTree(sandbox.root());
      InstallerRun run = InstallerRun::start(sandbox, {.arguments = testCase.arguments});
      expectFailureReport(run, testCase.description);
      EXPECT_EQ(treeDifferences(before, snapshotTree(sandbox.root())), "");
      EXPECT_FALSE(fs::exists(sandbox.applicationsFolder()));
    });
  }
}

TEST(CommandLine, TheFailureAlertStaysOpenUntilReturnAndStandardErrorWaitsForIt) {
  Sandbox sandbox;
  InstallerRun run = InstallerRun::start(sandbox, {.arguments = {"--source"}});
  Alert alert = run.waitForAlert();
  EXPECT_EQ(alert.informativeText, incomplete);
  // Keys other than Return are ignored by an alert whose one button has no
  // Escape equivalent; nothing may reach standard error meanwhile.
  run.press("x");
  run.press(" ");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(run.standardErrorSoFar(), "");
  EXPECT_EQ(countAlerts(run.terminalSoFar()), 1u);
  run.press(returnKey);
  RunResult result = run.finish();
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.standardError, incomplete + "\n");
}

}  // namespace
}  // namespace e2e
