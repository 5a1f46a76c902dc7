#include "installation_steps.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "common.h"

namespace e2e {

void acceptConfirmation(InstallerRun& run) {
  Alert alert = run.waitForAlert();
  const std::string title = "安装" + std::string(browserName) + " ";
  if (!alert.messageText.starts_with(title) || alert.buttons.size() != 2 ||
      (alert.buttons[0] != "安装" && alert.buttons[0] != "退出并更新"))
    throw HarnessError("expected the confirmation, got the alert \"" + alert.messageText + "\": " +
                       visible(alert.informativeText) + "\nstandard error: " +
                       visible(alert.standardErrorBefore));
  run.press(returnKey);
}

void expectQuietSuccess(InstallerRun& run, ToolDiagnostics diagnostics) {
  RunResult result = run.finish();
  EXPECT_EQ(result.exitStatus, 0);
  if (diagnostics == ToolDiagnostics::none) {
    EXPECT_EQ(result.standardError, "");
  } else {
    std::string others;
    std::string::size_type start = 0;
    while (start < result.standardError.size()) {
      std::string::size_type end = result.standardError.find('\n', start);
      if (end == std::string::npos) end = result.standardError.size();
      std::string line = result.standardError.substr(start, end - start);
      if (!line.starts_with("codesign: ")) others += line + "\n";
      start = end + 1;
    }
    EXPECT_EQ(others, "") << "standard error beyond codesign's diagnostics";
  }
  EXPECT_EQ(result.standardOutput, "");
  EXPECT_EQ(countAlerts(result.terminal), 1u) << "an alert after the confirmation:\n"
                                              << visible(result.terminal);
  EXPECT_TRUE(result.terminalRestored);
}

void expectProcessesEnd(const std::vector<pid_t>& processes) {
  for (pid_t process : processes)
    EXPECT_TRUE(waitUntil([&] { return !processIsAlive(process); })) << "process " << process << " still runs";
}

void expectFailureAfterConfirmation(InstallerRun& run, const std::string& description) {
  Alert alert = run.waitForAlert();
  EXPECT_EQ(alert.messageText, failureTitle);
  EXPECT_EQ(alert.informativeText, description);
  EXPECT_EQ(alert.standardErrorBefore, "") << "written before the alert was dismissed";
  run.press(returnKey);
  RunResult result = run.finish();
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.standardError, description + "\n");
  EXPECT_EQ(result.standardOutput, "");
  EXPECT_EQ(countAlerts(result.terminal), 2u) << visible(result.terminal);
  EXPECT_TRUE(result.terminalRestored);
}

bool isStagingFolderName(const std::string& name) {
  const std::string prefix = ".qrvx-update-";
  if (!name.starts_with(prefix)) return false;
  const std::string uuid = name.substr(prefix.size());
  if (uuid.size() != 36) return false;
  for (std::size_t at = 0; at < uuid.size(); ++at) {
    const bool dash = at == 8 || at == 13 || at == 18 || at == 23;
    const unsigned char c = static_cast<unsigned char>(uuid[at]);
    if (dash ? c != '-' : !(std::isdigit(c) || (c >= 'A' && c <= 'F'))) return false;
  }
  return true;
}

std::vector<fs::path> stagingFolders(const fs::path& folder) {
  std::vector<fs::path> found;
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.path().filename().string().starts_with(".qrvx-update-")) found.push_back(entry.path());
  return found;
}

ino_t inodeOf(const fs::path& path) {
  struct stat status;
  if (::lstat(path.c_str(), &status) != 0) {
    int error = errno;
    throw HarnessError("lstat " + path.string() + ": " + std::strerror(error));
  }
  return status.st_ino;
}

}  // namespace e2e
