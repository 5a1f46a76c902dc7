// On a desktop (the virtual display xvfb-run gives these tests) every alert
// is a dialog window, answered with keys typed by xdotool, by closing the
// window or on the terminal, where it is shown as well. Each kind of alert is
// saved once as a screenshot in the build tree, for a person to look at.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <random>
#include <thread>

#include "failure_report.h"
#include "harness.h"
#include "installation_steps.h"

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

/// An X server of a test's own, which it ends while a dialog is open on it.
struct EndableDisplay {
  EndableDisplay() {
    // Display numbers are shared with other people's X servers: a random one,
    // and the next one while it is taken.
    for (unsigned number = 500 + std::random_device()() % 400; environment.empty(); ++number) {
      Pipe ready = makePipe();
      UniqueFd devNull = openDevNull();
      // It writes its number on standard output once it accepts connections.
      // -noreset, as a desktop's display: a server left without clients (the
      // probe below, or a dialog that was answered) resets and refuses the
      // next dialog's connection for a moment.
      ExecImage image("/usr/bin/Xvfb",
                      {":" + std::to_string(number), "-displayfd", "1", "-nolisten", "tcp",
                       "-noreset", "-screen", "0", "1024x768x24"},
                      toolEnvironment());
      server = forkExec(image, [&] {
        return ::dup2(ready.writeEnd.get(), 1) < 0 || ::dup2(devNull.get(), 2) < 0 ? errno : 0;
      });
      ready.writeEnd.reset();
      char byte = 0;
      if (::read(ready.readEnd.get(), &byte, 1) != 1) {
        waitForChild(server, waitLimit);
        continue;
      }
      // Open as long as the server runs, which would write to it at a reset.
      announcements = std::move(ready.readEnd);
      environment = {{"DISPLAY", ":" + std::to_string(number)}};
    }
  }
  ~EndableDisplay() {
    if (::kill(server, SIGTERM) == 0) waitForChild(server, waitLimit);
  }
  pid_t server;
  UniqueFd announcements;
  Environment environment;
};

/// The output of a tool run on `display`, empty when it fails.
std::string onDisplay(const fs::path& tool, const std::vector<std::string>& arguments,
                      const Environment& display = displayEnvironment()) {
  Environment environment = toolEnvironment();
  environment.merge(Environment(display));
  ToolResult result = runTool(tool, arguments, environment);
  return result.exitStatus == 0 ? result.standardOutput : "";
}

/// The installer's shown dialog windows, titled by its bundle's name.
std::string dialogWindows(const Environment& display = displayEnvironment()) {
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // a few looks a second
  return onDisplay("/usr/bin/xdotool", {"search", "--onlyvisible", "--name", "^QuorvaneInstaller$"},
                   display);
}

/// The first dialog window once one is shown.
std::string waitForDialog(InstallerRun& run, const Environment& display = displayEnvironment()) {
  std::string window;
  if (!waitUntil([&] { return !(window = dialogWindows(display)).empty(); }))
    throw HarnessError("no dialog; standard error: " + run.standardErrorSoFar());
  window.resize(window.find('\n'));
  return window;
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
  std::string window = waitForDialog(run);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // mapped, then drawn
  if (!screenshot.empty()) {
    fs::create_directories(SCREENSHOT_DIR);
    const std::string file = SCREENSHOT_DIR "/" + screenshot + ".png";
    // A window is mapped before its first frame is drawn: until then it is one colour.
    EXPECT_TRUE(waitUntil([&] {
      onDisplay("/usr/bin/import", {"-window", window, file});
      return std::atol(onDisplay("/usr/bin/identify", {"-format", "%k", file}).c_str()) > 1;
    })) << "the dialog was never drawn";
  }
  EXPECT_EQ(run.standardErrorSoFar(), "") << "written while the dialog is open";
  if (key.empty()) {
    closeWindow(window);
  } else {
    onDisplay("/usr/bin/xdotool", {"windowfocus", "--sync", window, "key", key});
  }
  EXPECT_TRUE(waitUntil([] { return dialogWindows().empty(); })) << "the dialog stayed";
}

InstallerRun start(const Sandbox& sandbox, const std::vector<std::string>& arguments,
                   const Environment& display = displayEnvironment(), bool terminal = true) {
  return InstallerRun::start(
      sandbox,
      {.arguments = arguments, .controllingTerminal = terminal, .extraEnvironment = display});
}

/// Ended with `status` and `standardError`, nothing on standard output, the
/// terminal, which showed `alerts` alerts alongside the windows, restored.
void expectEnd(InstallerRun& run, int status, const std::string& standardError,
               std::size_t alerts = 1) {
  RunResult result = run.finish();
  EXPECT_EQ(result.exitStatus, status);
  EXPECT_EQ(result.standardError, standardError);
  EXPECT_EQ(result.standardOutput, "");
  EXPECT_EQ(countAlerts(result.terminal), alerts) << visible(result.terminal);
  EXPECT_TRUE(result.terminalRestored);
}

/// The line of an alert shown nowhere although a display was named.
std::string unshownLine(const std::string& display, const std::string& reason,
                        const std::string& text) {
  return "No dialog could be shown on the display named (DISPLAY=" + display + "): " + reason +
         "; with no terminal either, the alert \"" + text + "\" went unanswered.\n";
}

const std::string badArgument = "不支持的安装参数 --bogus。";

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
  expectEnd(run, 0, "", 2);
  EXPECT_EQ(BrowserRecord(record).waitForStarts(1).executable,
            apps / browserBundle / "Contents/MacOS" / browserName);
}

TEST(DesktopDialog, EscapeOrClosingTheWindowDeclinesAndChangesNothing) {
  Sandbox sandbox;
  fs::path source = makeBundle(sandbox.path("new") / browserBundle, {});
  for (const std::string key : {"Escape", "", "terminal"}) {
    SCOPED_TRACE(key.empty() ? "window closed" : key);
    InstallerRun run = start(sandbox, {"--source", source.string(), "--destination",
                                       sandbox.path("apps/Quorvane浏览器.app").string()});
    if (key != "terminal") {
      answerDialog(run, key);
    } else {
      waitForDialog(run);  // answered on the terminal, the window is withdrawn
      run.waitForAlert();
      run.press(escapeKey);
      EXPECT_TRUE(waitUntil([] { return dialogWindows().empty(); })) << "the dialog stayed";
    }
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

TEST(DesktopDialog, WhenTheDisplayEndsTheAlertGoesOnWithout) {
  Sandbox sandbox;
  fs::path source = makeBundle(sandbox.path("new") / browserBundle, {});
  // The older copy cannot go to a Trash that is a file: a final report follows.
  writeFile(sandbox.dataHome() / "Trash", "not a folder\n");
  auto installInto = [&](const fs::path& apps) {
    fs::path older =
        makeBundle(apps / (std::string(browserName) + " 1.0.app"), {.version = std::string("1.0")});
    return std::vector<std::string>{"--source",      source.string(),
                                    "--destination", (apps / browserBundle).string(),
                                    "--current-app", older.string()};
  };
  // Ends the display of the run once its `windows`-th dialog is shown, the
  // ones before answered with Return.
  std::string display;
  auto endDisplayAt = [&](const std::vector<std::string>& arguments, bool terminal, int windows) {
    EndableDisplay server;
    const Environment& on = server.environment;
    display = on.at("DISPLAY");
    EXPECT_TRUE(waitUntil(
        [&] { return !onDisplay("/usr/bin/xdotool", {"getdisplaygeometry"}, on).empty(); }));
    InstallerRun run = start(sandbox, arguments, on, terminal);
    for (int shown = 1; shown < windows; ++shown) {
      onDisplay("/usr/bin/xdotool",
                {"windowfocus", "--sync", waitForDialog(run, on), "key", "Return"}, on);
      EXPECT_TRUE(waitUntil([&] { return dialogWindows(on).empty(); }));
    }
    waitForDialog(run, on);
    return run;
  };
  const std::string noAnswer = "the dialog ended without an answer (exit status 1)";

  InstallerRun answered = endDisplayAt(installInto(sandbox.path("a")), true, 1);
  answered.waitForAlert();
  answered.press(returnKey);
  EXPECT_EQ(answered.waitForAlert().messageText, "新版已安装");
  answered.press(returnKey);
  expectEnd(answered, 0, "", 2);
  EXPECT_TRUE(fs::exists(sandbox.path("a") / browserBundle));

  InstallerRun declined = endDisplayAt(installInto(sandbox.path("b")), false, 1);
  expectEnd(declined, 0, unshownLine(display, noAnswer, "安装Quorvane浏览器 " PROJECT_VERSION "？"),
            0);
  EXPECT_FALSE(fs::exists(sandbox.path("b") / browserBundle));

  InstallerRun reported = endDisplayAt(installInto(sandbox.path("c")), false, 2);
  expectEnd(reported, 0, unshownLine(display, noAnswer, "新版已安装"), 0);
  EXPECT_TRUE(fs::exists(sandbox.path("c") / browserBundle));
  EXPECT_TRUE(stagingFolders(sandbox.path("c")).empty());

  InstallerRun failed = endDisplayAt({"--bogus", "x"}, true, 1);
  expectFailureReport(failed, badArgument);
}

TEST(DesktopDialog, WithoutItsHelperTheAlertIsOnTheTerminalOrSaysWhy) {
  Sandbox sandbox;
  fs::path installer = copyInstallerBundle(sandbox.path("installer/QuorvaneInstaller.app"));
  fs::path helper = helperPath(installer, "desktop-dialog");
  fs::remove(helper);
  RunOptions options{.arguments = {"--bogus", "x"},
                     .extraEnvironment = displayEnvironment(),
                     .installerBundle = installer};
  InstallerRun onTerminal = InstallerRun::start(sandbox, options);
  expectFailureReport(onTerminal, badArgument);
  options.controllingTerminal = false;
  InstallerRun without = InstallerRun::start(sandbox, options);
  expectEnd(without, 1,
            unshownLine(displayEnvironment().at("DISPLAY"),
                        "the dialog helper " + helper.string() +
                            " could not start: No such file or directory",
                        std::string(failureTitle)) +
                badArgument + "\n",
            0);
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
