#include "failure_report.h"

#include <gtest/gtest.h>

#include "common.h"

namespace e2e {

void expectFailureReport(InstallerRun& run, const std::string& description,
                         ToolDiagnostics diagnostics) {
  Alert alert = run.waitForAlert();
  EXPECT_EQ(alert.messageText, failureTitle);
  EXPECT_EQ(alert.informativeText, description);
  EXPECT_EQ(alert.buttons, std::vector<std::string>{std::string(defaultButtonTitle)});
  EXPECT_EQ(alert.defaultButton, std::optional<std::size_t>(0));
  if (diagnostics == ToolDiagnostics::none) {
    EXPECT_EQ(alert.standardErrorBefore, "") << "standard error written before the alert was dismissed";
  }
  EXPECT_EQ(alert.standardErrorBefore.find(description), std::string::npos)
      << "the description reached standard error while the alert was open";

  run.press(returnKey);
  RunResult result = run.finish();
  EXPECT_EQ(result.exitStatus, 1);
  ASSERT_GE(result.standardError.size(), alert.standardErrorBefore.size());
  EXPECT_EQ(result.standardError.substr(alert.standardErrorBefore.size()), description + "\n")
      << "standard error after the alert";
  EXPECT_EQ(result.standardOutput, "");
  EXPECT_EQ(countAlerts(result.terminal), 1u) << visible(result.terminal);
  EXPECT_TRUE(result.terminalRestored) << "the terminal's modes were not restored";
}

void expectSilentFailure(const RunResult& result, const std::string& description,
                         ToolDiagnostics diagnostics) {
  EXPECT_EQ(result.exitStatus, 1);
  if (diagnostics == ToolDiagnostics::none) {
    EXPECT_EQ(result.standardError, description + "\n");
  } else {
    EXPECT_TRUE(result.standardError.ends_with("\n" + description + "\n") ||
                result.standardError == description + "\n")
        << visible(result.standardError);
  }
  EXPECT_EQ(result.standardOutput, "");
}

void runCase(const std::function<void()>& body) {
  try {
    body();
  } catch (const HarnessError& error) {
    ADD_FAILURE() << error.what();
  } catch (const std::filesystem::filesystem_error& error) {
    ADD_FAILURE() << error.what();
  }
}

std::string joinedArguments(const std::vector<std::string>& arguments) {
  std::string line = "arguments:";
  for (const auto& argument : arguments) line += " '" + argument + "'";
  return line;
}

}  // namespace e2e
