#pragma once

// Shared staging for the transaction's tests: real bundles in the test's
// folder, fake processes and alerts.

#include <filesystem>

#include "entry/installer_error.h"
#include "entry/options.h"
#include "inspect/bundle_info.h"
#include "tests/support/platform_test.h"

namespace installer::testing {

class TransactionTest : public PlatformTest {
 protected:
  TransactionTest() {
    std::filesystem::create_directories(root() + "/Applications");
    std::filesystem::create_directories(root() + "/Downloads");
  }

  FileURL source() const { return url("Downloads/Quorvane浏览器.app"); }
  FileURL destination() const { return url("Applications/Quorvane浏览器.app"); }

  /// A sealed browser bundle of `version` at `location`.
  FileURL bundle(const FileURL& location, const std::string& version) {
    makeBundle(location.path(), {.version = PropertyValue(version)});
    return location;
  }

  Options options(std::optional<FileURL> current = std::nullopt) const {
    return Options{source(), destination(), std::move(current)};
  }

  /// A browser instance running from `location`.
  std::shared_ptr<FakeRunningApplication> running(int pid, const FileURL& location) {
    return running_.add(pid, location, QRVX_BROWSER_IDENTIFIER);
  }

  /// The message `action` raises, or "" when it returns.
  template <typename Action>
  static std::string failureOf(Action&& action) {
    try {
      action();
      return "";
    } catch (const InstallerError& error) {
      return error.errorDescription().value_or("(none)");
    } catch (const std::exception& error) {
      return std::string("platform: ") + error.what();
    }
  }

  /// Every entry of the test's folder, for "nothing changed" checks.
  std::vector<std::string> tree() const {
    std::vector<std::string> entries;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root())) {
      entries.push_back(entry.path().string());
    }
    std::sort(entries.begin(), entries.end());
    return entries;
  }
};

}  // namespace installer::testing
