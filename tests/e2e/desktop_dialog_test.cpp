// On a desktop (the virtual display xvfb-run gives these tests) every alert
// is a dialog window, answered with keys typed by xdotool or by closing the
// window; nothing of it reaches the terminal. Each kind of alert is saved once
// as a screenshot in the build tree, for a person to look at.

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "failure_report.h"
#include "harness.h"

// Last: its macros (None, Bool) would break the headers above.
#include <X11/Xlib.h>

namespace e2e {
namespace {

/// The display xvfb-run made, and the key to it.
Environment displayEnvironment() {
  const char* display = std::getenv("DISPLAY");
  const char* authority = std::getenv("XAUTHORITY");
  if (!display || !authority) throw HarnessError("no DISPLAY or XAUTHORITY: run under xvfb-run");
  return {{"DISPLAY", display}, {"XAUTHORITY", authority}};
}

/// The output of a tool run on the display, empty when it fails.
std::string onDisplay(const fs::path& tool, const std::vector<std::string>& arguments) {
  Environment environment = toolEnvironment();
  environment.merge(displayEnvironment());
  ToolResult result = runTool(tool, arguments, environment);
  return result.exitStatus == 0 ? result.standardOutput : "";
}

/// The installer's shown dialog windows, titled by its bundle's name.
std::string dialogWindows() {
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // a few looks a second
  return onDisplay("/usr/bin/xdotool", {"search", "--onlyvisible", "--name", "^QuorvaneInstaller$"});
}

/// Asks `window` to close, as a window manager's close button does.
void closeWindow(const std::string& window) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) throw HarnessError("cannot open the display");
  XEvent message{};
  message.xclient = {ClientMessage, 0, False, display, std::stoul(window),
                     XInternAtom(display, "WM_PROTOCOLS", False), 32, {}};
  message.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  XSendEvent(display, message.xclient.window, False, NoEventMask, &message);
  XCloseDisplay(display);
}

/// Waits for the dialog, saves it as `screenshot` when named, types `key`
/// into it (or closes it when `key` is empty) and waits until it is gone.
void answerDialog(InstallerRun& run, const std::string& key, const std::string& screenshot = "") {
  std::string window;
  if (!waitUntil([&] { return !(window = dialogWindows()).empty(); }))
    throw HarnessError("no dialog; standard error: " + run.standardErrorSoFar());
  window.resize(window.find('\n'));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // mapped, then drawn
  if (!screenshot.empty()) {
    fs::create_directories(SCREENSHOT_DIR);
    onDisplay("/usr/bin/import", {"-window", window, SCREENSHOT_DIR "/" + screenshot + ".png"});
  }
  EXPECT_EQ(run.standardErrorSoFar(), "") << "written while the dialog is open";
  if (key.empty()) {
    closeWindow(window);
  } else {
    onDisplay("/usr/bin/xdotool", {"windowfocus", "--sync", window, "key", key});
  }
  EXPECT_TRUE(waitUntil([] { return dialogWindows().empty(); })) << "the dialog stayed";
}

InstallerRun start(const Sandbox& sandbox, const std::vector<std::string>& arguments) {
  return InstallerRun::start(sandbox, {.arguments = arguments, .extraEnvironment = displayEnvironment()});
}

/// Ended with `status` and `standardError`, nothing on standard output or the terminal.
void expectEnd(InstallerRun& run, int status, const std::string& standardError) {
  RunResult result = run.finish();
  EXPECT_EQ(result.exitStatus, status);
  EXPECT_EQ(result.standardError, standardError);
  EXPECT_EQ(result.standardOutput, "");
  EXPECT_EQ(result.terminal, "");
}

TEST(DesktopDialog, ReturnConfirmsAndTheFinalReportFollows) {
  Sandbox sandbox;
  fs::path apps = sandbox.path("apps");
  fs::path older =
      makeBundle(apps / (std::string(browserName) + " 1.0.app"), {.version = std::string("1.0")});
  // The older copy cannot go to a Trash that is a file: the report names it.
  writeFile(sandbox.dataHome() / "Trash", "not a folder\n");
  fs::path record = sandbox.path("new-record");
  fs::path source = makeBundle(sandbox.path("new") / browserBundle, {.record = record});
  // As the current copy, it keeps other tests' browsers out of this run.
  InstallerRun run = start(sandbox, {"--source", source.string(), "--destination",
                                     (apps / browserBundle).string(), "--current-app", older.string()});
  answerDialog(run, "Return", "confirmation");
  answerDialog(run, "Return", "final-report");
  expectEnd(run, 0, "");
  EXPECT_EQ(BrowserRecord(record).waitForStarts(1).executable,
            apps / browserBundle / "Contents/MacOS" / browserName);
}

TEST(DesktopDialog, EscapeOrClosingTheWindowDeclinesAndChangesNothing) {
  Sandbox sandbox;
  fs::path source = makeBundle(sandbox.path("new") / browserBundle, {});
  for (const std::string key : {"Escape", ""}) {
    SCOPED_TRACE(key.empty() ? "window closed" : key);
    InstallerRun run = start(sandbox, {"--source", source.string(), "--destination",
                                       sandbox.path("apps/Quorvane浏览器.app").string()});
    answerDialog(run, key);
    expectEnd(run, 0, "");
    // Neither the lock nor a staging folder, let alone a bundle.
    EXPECT_FALSE(fs::exists(sandbox.path("apps")));
  }
}

TEST(DesktopDialog, AFailureReachesStandardErrorOnlyOnceDismissed) {
  Sandbox sandbox;
  InstallerRun run = start(sandbox, {"--bogus", "x"});
  answerDialog(run, "Return", "failure");
  expectEnd(run, 1, "不支持的安装参数 --bogus。\n");
}

TEST(DesktopDialog, WhereGtkCannotStartTheAlertIsOnTheTerminalAsBefore) {
  Sandbox sandbox;
  // Without its key the display refuses the connection.
  InstallerRun run = InstallerRun::start(
      sandbox, {.arguments = {"--bogus", "x"},
                .extraEnvironment = {{"DISPLAY", displayEnvironment().at("DISPLAY")}}});
  expectFailureReport(run, "不支持的安装参数 --bogus。");
}

}  // namespace
}  // namespace e2e
