#include <gtest/gtest.h>
#include <sys/prctl.h>

#include <map>
#include <set>

#include "platform/host/host_session.h"
#include "platform/platform_error.h"
#include "tests/platform/host_test_bundles.h"

namespace installer::host {
namespace {

using namespace std::chrono_literals;
using fixtures::readFile;
using fixtures::ScopedVariable;
using fixtures::TemporaryFolder;
using testing::copyExecutable;
using testing::eventually;
using testing::uniqueIdentifier;
using testing::writeInfoPlist;

constexpr const char* standInVariable = "QRVX_HOST_TEST_STAND_IN";
constexpr const char* standInReadyName = "qrvx-ready";

// A copy of this test program started with the variable set stands in for an
// application: once loaded it names itself ready and waits for a signal.
[[maybe_unused]] const bool standInStarted = [] {
  if (!std::getenv(standInVariable)) return false;
  prctl(PR_SET_NAME, standInReadyName);
  for (;;) pause();
}();

std::string linkTarget(const std::string& path) {
  std::error_code error;
  return std::filesystem::read_symlink(path, error).string();
}

std::map<std::string, std::string> environmentOf(int pid) {
  std::map<std::string, std::string> variables;
  std::string text = readFile("/proc/" + std::to_string(pid) + "/environ");
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\0', start);
    if (end == std::string::npos) end = text.size();
    std::string entry = text.substr(start, end - start);
    size_t equals = entry.find('=');
    variables[entry.substr(0, equals)] =
        equals == std::string::npos ? "" : entry.substr(equals + 1);
    start = end + 1;
  }
  return variables;
}

/// What the completion was given, collected on the main thread through the run loop.
struct OpenResult {
  bool arrived = false;
  RunningApplicationHandle handle;
  std::exception_ptr error;
  std::thread::id completionThread;
};

/// Opens `bundle` the way the installer does and turns the run loop until
/// the completion's block has come back to the main thread.
OpenResult openAndWait(const std::string& bundle, const OpenConfiguration& configuration) {
  ScopedVariable entries("XDG_DATA_HOME",
                         (std::filesystem::path(bundle).parent_path() / "data").c_str());
  HostRunLoop loop;
  HostWorkspace workspace(loop);
  OpenResult result;
  workspace.openApplication(FileURL::fromAbsolutePath(bundle), configuration,
                            [&](RunningApplicationHandle handle, std::exception_ptr error) {
                              std::thread::id thread = std::this_thread::get_id();
                              loop.dispatchToMain([&result, handle, error, thread] {
                                result = {true, handle, error, thread};
                              });
                            });
  auto deadline = std::chrono::steady_clock::now() + 10s;
  while (!result.arrived && std::chrono::steady_clock::now() < deadline) {
    if (!loop.runOnce(0.05)) loop.sleep(0.05);
  }
  // The operation has ended once a pass answers false again; until then a
  // handle that came back is an input source of its own.
  if (!result.handle) {
    EXPECT_TRUE(eventually([&] { return !loop.runOnce(0); }));
  }
  return result;
}

std::string errorText(std::exception_ptr error) {
  try {
    if (error) std::rethrow_exception(error);
  } catch (const PlatformError& platformError) {
    return platformError.what();
  } catch (...) {
    return "not a PlatformError";
  }
  return "";
}

TEST(HostWorkspaceTest, OpensTheBundleDetachedWithTheSessionEnvironmentOnly) {
  TemporaryFolder folder;
  const std::string identifier = uniqueIdentifier("open");
  const std::string bundle = folder.path() + "/Stand In.app";
  copyExecutable("/proc/self/exe", bundle + "/Contents/MacOS/Stand In");
  writeInfoPlist(bundle, identifier, "Stand In");

  // A descriptor without close-on-exec, on purpose: the launch must not pass it on.
  int leaked = dup(STDIN_FILENO);
  ASSERT_GE(leaked, 0);
  OpenResult result;
  {
    ScopedVariable unrelated("QRVX_NOT_FOR_THE_BROWSER", "1");
    ScopedVariable locale("LC_QRVX_TEST", "passed");
    OpenConfiguration configuration;
    configuration.environment =
        std::map<std::string, std::string>{{standInVariable, "1"}, {"HOME", "/configured/home"}};
    result = openAndWait(bundle, configuration);
  }
  close(leaked);

  ASSERT_TRUE(result.arrived);
  EXPECT_EQ(errorText(result.error), "");
  ASSERT_TRUE(result.handle);
  EXPECT_NE(result.completionThread, std::this_thread::get_id());
  const int pid = result.handle->processIdentifier();
  const std::string proc = "/proc/" + std::to_string(pid);
  ASSERT_TRUE(
      eventually([&] { return readFile(proc + "/comm") == std::string(standInReadyName) + "\n"; }));

  EXPECT_FALSE(result.handle->isTerminated());
  ASSERT_TRUE(result.handle->bundleURL());
  EXPECT_EQ(result.handle->bundleURL()->path(), bundle);
  EXPECT_EQ(getsid(pid), pid);
  EXPECT_EQ(linkTarget(proc + "/cwd"), "/");
  EXPECT_EQ(readFile(proc + "/cmdline"),
            bundle + "/Contents/MacOS/Stand In" + std::string(1, '\0'));

  std::set<std::string> descriptors;
  for (const auto& entry : std::filesystem::directory_iterator(proc + "/fd"))
    descriptors.insert(entry.path().filename());
  EXPECT_EQ(descriptors, (std::set<std::string>{"0", "1", "2"}));
  for (const char* stream : {"0", "1", "2"})
    EXPECT_EQ(linkTarget(proc + "/fd/" + stream), "/dev/null") << stream;

  std::map<std::string, std::string> environment = environmentOf(pid);
  const std::set<std::string> session = {"HOME",
                                         "USER",
                                         "LOGNAME",
                                         "SHELL",
                                         "PATH",
                                         "LANG",
                                         "TZ",
                                         "DISPLAY",
                                         "WAYLAND_DISPLAY",
                                         "XAUTHORITY",
                                         "DBUS_SESSION_BUS_ADDRESS"};
  for (const auto& [name, value] : environment) {
    bool allowed = session.count(name) || name.starts_with("LC_") || name.starts_with("XDG_") ||
                   name == standInVariable;
    EXPECT_TRUE(allowed) << name;
  }
  EXPECT_EQ(environment[standInVariable], "1");
  EXPECT_EQ(environment["HOME"], "/configured/home");
  EXPECT_EQ(environment["LC_QRVX_TEST"], "passed");
  if (const char* path = std::getenv("PATH")) {
    EXPECT_EQ(environment["PATH"], path);
  }

  std::vector<RunningApplicationHandle> listed =
      HostRunningApplications().runningApplications(identifier);
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0]->processIdentifier(), pid);

  // The launch thread reaps the application once it ends: no zombie stays.
  EXPECT_TRUE(result.handle->terminate());
  EXPECT_TRUE(eventually([&] { return result.handle->isTerminated(); }));
  EXPECT_TRUE(eventually([&] { return !std::filesystem::exists(proc + "/stat"); }))
      << readFile(proc + "/stat");
  EXPECT_TRUE(result.handle->isTerminated());
  EXPECT_FALSE(result.handle->terminate());
}

TEST(HostWorkspaceTest, ABundleThatCannotBeStartedYieldsAnErrorAndNoHandle) {
  TemporaryFolder folder;
  const std::string& t = folder.path();
  writeInfoPlist(t + "/Unnamed.app", uniqueIdentifier("unnamed"), std::nullopt);
  writeInfoPlist(t + "/Missing.app", uniqueIdentifier("missing"), "Missing");
  writeInfoPlist(t + "/Plain.app", uniqueIdentifier("plain"), "Plain");
  std::filesystem::create_directories(t + "/Plain.app/Contents/MacOS");
  fixtures::writeFile(t + "/Plain.app/Contents/MacOS/Plain", "not executable");
  struct Case {
    std::string bundle;
    std::optional<std::map<std::string, std::string>> environment;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {t + "/Unnamed.app", std::nullopt, "names no executable"},
      {t + "/Missing.app", std::nullopt, "No such file or directory"},
      {t + "/Plain.app", std::nullopt, "Permission denied"},
      {t + "/Absent.app", std::nullopt, "Info.plist"},
      {t + "/Missing.app", std::map<std::string, std::string>{{"A=B", "c"}}, "A=B"},
  };
  for (const Case& c : cases) {
    OpenConfiguration configuration;
    configuration.environment = c.environment;
    OpenResult result = openAndWait(c.bundle, configuration);
    ASSERT_TRUE(result.arrived) << c.bundle;
    EXPECT_FALSE(result.handle) << c.bundle;
    std::string text = errorText(result.error);
    EXPECT_NE(text.find(c.bundle), std::string::npos) << text;
    EXPECT_NE(text.find(c.reason), std::string::npos) << text;
    EXPECT_NE(result.completionThread, std::this_thread::get_id());
  }
}

}  // namespace
}  // namespace installer::host
