// Browsers nobody here wrote, from Debian's packages, made into our bundle
// (the package's folder as Contents/MacOS, its main executable renamed, our
// Info.plist, sealed by our codesign helper) and driven through the installer
// on a real X display: a fresh installation, an update while the browser runs,
// and an update to a version that cannot start.
//
// Real browsers refuse to run as root, so this runs as an ordinary user
// (as_test_user.sh), under xvfb-run, since the installer passes a browser no
// arguments and so no headless switch.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <map>

#include "failure_report.h"
#include "harness.h"
#include "installation_steps.h"
#include "transaction_support.h"
#include "trash_contents.h"

namespace e2e {
namespace {

struct RealBrowser {
  const char* package;
  /// The package's own folder, which becomes Contents/MacOS.
  const char* folder;
  /// Its main executable there, renamed to the bundle's executable.
  const char* executable;
  /// Without this file the browser dies as it starts: the version that cannot.
  const char* neededAtStart;
  /// Files placed in Contents/MacOS before the bundle is sealed.
  std::map<std::string, std::string> files;
  /// Folders the browser would make there at run time, made before (0700).
  std::vector<std::string> folders;
  /// Why the browser cannot run here, or empty.
  std::string (*unusableReason)();
};

std::string chromiumUnusableReason() {
  // Its sandbox needs user namespaces (Debian ships no setuid sandbox), and
  // no argument of ours could turn the sandbox off.
  ToolResult probe = runTool("/usr/bin/unshare", {"--user", "--pid", "--net", "--fork", "true"},
                             toolEnvironment());
  return probe.exitStatus == 0
             ? ""
             : "its sandbox needs user namespaces, which this user cannot make: " +
                   probe.standardError;
}

std::string usable() { return ""; }

// Debian's chromium reads its first-run preferences and policies only from
// /etc/chromium, whose master_preferences already skips the welcome page and
// the default-browser question; it has no updater of its own, and the test's
// view has no network. It makes an empty `extensions` folder beside its
// executable when there is none. Firefox reads distribution/policies.json
// beside its executable.
const RealBrowser realBrowsers[] = {
    {"chromium",
     "/usr/lib/chromium",
     "chromium",
     "icudtl.dat",
     {},
     {"extensions"},
     chromiumUnusableReason},
    {"firefox-esr",
     "/usr/lib/firefox-esr",
     "firefox-esr",
     "libxul.so",
     {{"distribution/policies.json",
       R"({"policies": {"DisableAppUpdate": true, "DontCheckDefaultBrowser": true,
  "OverrideFirstRunPage": "", "OverridePostUpdatePage": "", "DisableTelemetry": true,
  "DisableFirefoxStudies": true, "NoDefaultBookmarks": true, "Homepage": {"StartPage": "none"}}}
)"}},
     {},
     usable},
};

std::string packageVersion(const char* package) {
  ToolResult query =
      runTool("/usr/bin/dpkg-query", {"-W", "-f=${Version}", package}, toolEnvironment());
  return query.exitStatus == 0 ? query.standardOutput : "";
}

/// `browser` as a sealed bundle of `version` at `at`, or one that cannot start.
fs::path makeRealBundle(const RealBrowser& browser, const fs::path& at, const std::string& version,
                        bool startable = true) {
  fs::create_directories(at / "Contents");
  // Dereferenced: the package links parts of itself from /usr/share and /etc,
  // which a bundle must hold itself.
  ToolResult copy = runTool(
      "/bin/cp",
      {"-RL", "--preserve=mode,timestamps", browser.folder, (at / "Contents/MacOS").string()},
      toolEnvironment());
  if (copy.exitStatus != 0)
    throw HarnessError("cp " + std::string(browser.folder) + ": " + copy.standardError);
  const fs::path macos = at / "Contents/MacOS";
  fs::rename(macos / browser.executable, macos / browserName);
  if (!startable) fs::remove(macos / browser.neededAtStart);
  for (const auto& [relative, content] : browser.files) writeFile(macos / relative, content);
  for (const std::string& relative : browser.folders) {
    fs::create_directories(macos / relative);
    fs::permissions(macos / relative, fs::perms::owner_all);
  }
  writeInfoPropertyList(at, {.version = version});
  sealBundle(at);
  return at;
}

/// Chromium's helpers rewrite their command line as one string, the
/// arguments separated by spaces, so both separators count.
bool hasHelperMarker(const std::string& commandLine) {
  std::size_t start = 0;
  while (start < commandLine.size()) {
    std::size_t end = commandLine.find_first_of(std::string_view("\0 ", 2), start);
    if (end == std::string::npos) end = commandLine.size();
    std::string_view argument(commandLine.data() + start, end - start);
    if (argument.starts_with("--type=") || argument == "-contentproc" || argument == "-forkserver")
      return true;
    start = end + 1;
  }
  return false;
}

/// The browser's main processes running `bundle`'s executable: its helpers,
/// which run the same file, carry a helper marker.
std::vector<pid_t> mainProcessesOf(const fs::path& bundle) {
  const fs::path executable = bundle / "Contents/MacOS" / browserName;
  std::vector<pid_t> found;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::error_code linkError;
    if (fs::read_symlink(entry.path() / "exe", linkError) != executable) continue;
    std::string commandLine;
    try {
      commandLine = readFile(entry.path() / "cmdline");
    } catch (const HarnessError&) {
      continue;  // ended meanwhile
    }
    pid_t pid = static_cast<pid_t>(std::stol(name));
    if (!hasHelperMarker(commandLine) && processIsAlive(pid)) found.push_back(pid);
  }
  return found;
}

/// The one main process running from `bundle`, once there is exactly one.
pid_t runningBrowser(const fs::path& bundle) {
  std::vector<pid_t> running;
  waitUntil([&] { return (running = mainProcessesOf(bundle)).size() == 1; });
  if (running.size() != 1) {
    std::string described;
    for (pid_t pid : running) {
      std::string commandLine = "(ended)";
      try {
        commandLine = readFile("/proc/" + std::to_string(pid) + "/cmdline");
      } catch (const HarnessError&) {
      }
      std::replace(commandLine.begin(), commandLine.end(), '\0', ' ');
      described += "\n" + std::to_string(pid) + ": " + commandLine;
    }
    throw HarnessError(std::to_string(running.size()) + " browsers run from " + bundle.string() +
                       described);
  }
  return running.front();
}

void PrintTo(const RealBrowser& browser, std::ostream* out) { *out << browser.package; }

class RealBrowserTest : public testing::TestWithParam<RealBrowser> {};

TEST_P(RealBrowserTest, InstallsUpdatesWhileRunningAndRollsBackAVersionThatCannotStart) {
  const RealBrowser& browser = GetParam();
  if (!fs::exists(browser.folder))
    GTEST_SKIP() << browser.package << " is not installed (" << browser.folder << " is missing)";
  if (::getuid() == 0)
    GTEST_SKIP() << "real browsers refuse to run as root; run through as_test_user.sh";
  if (std::string reason = browser.unusableReason(); !reason.empty())
    GTEST_SKIP() << browser.package << " cannot run here: " << reason;
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) GTEST_SKIP() << "no X display: run under xvfb-run";
  const std::string label = std::string(browser.package) + " " + packageVersion(browser.package);
  std::cout << label << "\n";

  Sandbox sandbox;
  const fs::path destination = sandbox.applicationsFolder() / browserBundle;
  const fs::path trash = sandbox.dataHome() / "Trash";
  Environment displayEnvironment{{"DISPLAY", display}};
  if (const char* authority = std::getenv("XAUTHORITY"))
    displayEnvironment["XAUTHORITY"] = authority;
  // The browsers need the display, which they get from the installer's
  // session; the installer, given one, would also open each alert as a
  // window. Without its dialog helper the alerts stay on the terminal alone,
  // which is all this lane answers.
  const fs::path installer = copyInstallerBundle(sandbox.path("installer/QuorvaneInstaller.app"));
  fs::remove(installer / "Contents/Helpers/desktop-dialog");
  auto install = [&](const fs::path& source) {
    return InstallerRun::start(
        sandbox, {.arguments = {"--source", source.string(), "--destination", destination.string()},
                  .extraEnvironment = displayEnvironment,
                  .installerBundle = installer});
  };

  {
    SCOPED_TRACE("a fresh installation");
    const fs::path source = makeRealBundle(browser, sandbox.path("v1") / browserBundle, "1.0");
    InstallerRun run = install(source);
    confirmWithReturn(run, "安装");
    expectQuietSuccess(run);
    runningBrowser(destination);
    EXPECT_EQ(infoString(destination, "CFBundleShortVersionString"), "1.0");
    EXPECT_TRUE(bundleVerifies(destination)) << "the browser wrote inside its bundle";
    std::cout << label << ": fresh installation: 1.0 installed and running, its seal intact\n";
  }
  if (HasFailure()) return;

  const pid_t first = runningBrowser(destination);
  {
    SCOPED_TRACE("an update while the browser runs");
    const fs::path source = makeRealBundle(browser, sandbox.path("v2") / browserBundle, "2.0");
    InstallerRun run = install(source);
    confirmWithReturn(run, "退出并更新");
    expectQuietSuccess(run);
    EXPECT_FALSE(processIsAlive(first)) << "the old browser still runs";
    const pid_t second = runningBrowser(destination);
    EXPECT_NE(second, first);
    EXPECT_EQ(infoString(destination, "CFBundleShortVersionString"), "2.0");
    EXPECT_EQ(stagingFolders(destination.parent_path()), std::vector<fs::path>{});
    const auto trashed = trashedItems(trash);
    ASSERT_EQ(trashed.size(), 1u);
    EXPECT_TRUE(isStagingFolderName(trashed.begin()->first.parent_path().filename().string()))
        << trashed.begin()->first;
    EXPECT_EQ(infoString(trashed.begin()->second.file, "CFBundleShortVersionString"), "1.0");
    EXPECT_TRUE(bundleVerifies(destination)) << "the browser wrote inside its bundle";
    std::cout << label
              << ": update while running: 1.0 quit, 2.0 installed and running, "
                 "1.0 in the Trash, no staging folder, its seal intact\n";
  }
  if (HasFailure()) return;

  const pid_t second = runningBrowser(destination);
  {
    SCOPED_TRACE("an update to a version that cannot start");
    const ino_t installed = inodeOf(destination);
    const fs::path source =
        makeRealBundle(browser, sandbox.path("v3") / browserBundle, "3.0", /*startable=*/false);
    InstallerRun run = install(source);
    confirmWithReturn(run, "退出并更新");
    expectFailureAfterConfirmation(run,
                                   "未完成安装，旧版仍在原位置。\n浏览器启动未完成或启动时退出。");
    EXPECT_FALSE(processIsAlive(second)) << "the old browser was not quit first";
    EXPECT_EQ(inodeOf(destination), installed) << "the old bundle is not back in place";
    EXPECT_EQ(infoString(destination, "CFBundleShortVersionString"), "2.0");
    EXPECT_NE(runningBrowser(destination), second) << "2.0 was not started again";
    EXPECT_EQ(stagingFolders(destination.parent_path()), std::vector<fs::path>{});
    EXPECT_EQ(trashedItems(trash).size(), 1u);
    EXPECT_TRUE(bundleVerifies(destination)) << "the browser wrote inside its bundle";
    std::cout << label
              << ": update to 3.0 that cannot start: rolled back, 2.0 back in place "
                 "and running again, no staging folder, its seal intact\n";
  }
}

INSTANTIATE_TEST_SUITE_P(Debian, RealBrowserTest, testing::ValuesIn(realBrowsers),
                         [](const testing::TestParamInfo<RealBrowser>& info) {
                           std::string name = info.param.package;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
}  // namespace e2e
