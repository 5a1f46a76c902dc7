#include "transaction_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common.h"

namespace e2e {

fs::path installedLocation(const Sandbox& sandbox) { return sandbox.path("apps") / browserBundle; }

fs::path newBundleLocation(const Sandbox& sandbox) { return sandbox.path("new") / browserBundle; }

std::vector<std::string> openDescriptorsOf(pid_t pid) {
  fs::path folder = "/proc/" + std::to_string(pid) + "/fd";
  std::vector<std::pair<long, std::string>> numbered;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    std::error_code linkError;
    fs::path target = fs::read_symlink(entry.path(), linkError);
    std::string name = entry.path().filename().string();
    numbered.emplace_back(std::stol(name), name + " -> " + target.string());
  }
  if (error) throw HarnessError("list " + folder.string() + ": " + error.message());
  std::sort(numbered.begin(), numbered.end());
  std::vector<std::string> lines;
  for (auto& [number, line] : numbered) lines.push_back(std::move(line));
  return lines;
}

Alert confirmWithReturn(InstallerRun& run, std::string_view firstButton) {
  Alert alert = run.waitForAlert();
  EXPECT_EQ(alert.buttons, (std::vector<std::string>{std::string(firstButton), "取消"}))
      << alert.messageText << "\n" << alert.informativeText;
  EXPECT_EQ(alert.defaultButton, std::optional<std::size_t>(0));
  run.press(returnKey);
  return alert;
}

}  // namespace e2e
