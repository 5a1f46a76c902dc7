#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <string>
#include <thread>

#include "platform/host/host_alert_layout.h"
#include "platform/host/host_session.h"

namespace installer::host {
namespace {

using namespace std::chrono_literals;

Alert quitAlert() {
  return Alert{"Quit Quorvane?",
               "It is still running.\nUnsaved tabs close.",
               AlertStyle::warning,
               {{"Quit", "\r"}, {"Cancel", "\x1b"}}};
}

/// Keeps a child's alerts on the terminal, also where the tests run on a desktop.
void withoutDisplay() {
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
}

TEST(HostAlertLayoutTest, ShowsTextsAndMarksTheDefaultButton) {
  struct Case {
    Alert alert;
    std::string screen;
  };
  const std::vector<Case> cases = {
      {quitAlert(),
       "\n== Quit Quorvane? ==\nIt is still running.\nUnsaved tabs close.\n\n"
       "Buttons: [[Quit]] [Cancel]\n"},
      {Alert{"无法安装", "", AlertStyle::critical, {}}, "\n== 无法安装 ==\n\nButtons: [[好]]\n"},
      {Alert{"A\x1b[2Jb", "x\ty\r\x7f\xc2\x9b", AlertStyle::warning, {{"O\nK", ""}}},
       "\n== A\xEF\xBF\xBD[2Jb ==\nx\ty\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\n\n"
       "Buttons: [[O\xEF\xBF\xBDK]]\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(alertScreenText(c.alert), c.screen);
}

TEST(HostAlertTest, WithoutAControllingTerminalAnswersAbortAtOnceAndShowsNothing) {
  int output[2];
  ASSERT_EQ(pipe2(output, O_CLOEXEC), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    setsid();  // a new session has no controlling terminal
    withoutDisplay();
    dup2(output[1], STDOUT_FILENO);
    dup2(output[1], STDERR_FILENO);
    alarm(5);
    HostRunLoop loop;
    HostApplication application(loop);
    auto start = std::chrono::steady_clock::now();
    long answer = application.runModal(quitAlert());
    bool prompt = std::chrono::steady_clock::now() - start < 1s;
    _exit(answer == modalResponseAbort && prompt ? 0 : 1);
  }
  close(output[1]);
  std::string shown;
  char buffer[256];
  ssize_t count;
  while ((count = read(output[0], buffer, sizeof buffer)) > 0) shown.append(buffer, count);
  close(output[0]);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(shown, "");
}

// Exit statuses of the child that ran the alert on a pseudo-terminal.
constexpr int answeredAbort = 20;
constexpr int terminalNotRestored = 40;
constexpr int unexpectedAnswer = 50;

int exitStatusFor(long answer) {
  if (answer == modalResponseAbort) return answeredAbort;
  if (answer >= alertFirstButtonReturn && answer < alertFirstButtonReturn + 10)
    return static_cast<int>(answer - alertFirstButtonReturn) + 10;
  return unexpectedAnswer;
}

bool sameSettings(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_lflag == b.c_lflag &&
         std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

/// Reads the pseudo-terminal until `text` has appeared on it (or 5 s passed).
bool readUntil(int master, std::string& screen, const std::string& text) {
  auto deadline = std::chrono::steady_clock::now() + 5s;
  while (screen.find(text) == std::string::npos) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    pollfd watched{master, POLLIN, 0};
    if (poll(&watched, 1, 50) <= 0) continue;
    char buffer[512];
    ssize_t count = read(master, buffer, sizeof buffer);
    if (count <= 0) return false;
    screen.append(buffer, static_cast<size_t>(count));
  }
  return true;
}

/// Appends what the terminal has within `timeoutMilliseconds`; false when nothing came.
bool readAvailable(int master, std::string& screen, int timeoutMilliseconds) {
  pollfd watched{master, POLLIN, 0};
  if (poll(&watched, 1, timeoutMilliseconds) <= 0) return false;
  char buffer[512];
  ssize_t count = read(master, buffer, sizeof buffer);
  if (count <= 0) return false;
  screen.append(buffer, static_cast<size_t>(count));
  return true;
}

struct PtyRun {
  int status = -1;
  std::string screen;
  std::string standardStreams;
};

/// Runs `alert` in a child on a new pseudo-terminal, typing `keys` once the
/// button line (and `waitFor`, when given) has appeared; `hangUp` closes the
/// terminal instead.
PtyRun runOnPty(const Alert& alert, const std::vector<std::string>& keys,
                const std::string& waitFor, bool hangUp, bool dispatchFromThread) {
  PtyRun run;
  int streams[2];
  EXPECT_EQ(pipe2(streams, O_CLOEXEC), 0);
  int master = -1;
  pid_t child = forkpty(&master, nullptr, nullptr, nullptr);
  EXPECT_GE(child, 0);
  if (child > 0) fcntl(master, F_SETFD, FD_CLOEXEC);  // forkpty cannot open it so
  if (child == 0) {
    // Standard output and error go to a pipe, so that anything the alert
    // wrongly writes there is seen apart from the terminal.
    dup2(streams[1], STDOUT_FILENO);
    dup2(streams[1], STDERR_FILENO);
    signal(SIGHUP, SIG_IGN);
    withoutDisplay();
    alarm(10);
    termios before{};
    tcgetattr(STDIN_FILENO, &before);
    HostRunLoop loop;
    HostApplication application(loop);
    std::thread producer;
    if (dispatchFromThread) {
      producer = std::thread([&loop] {
        loop.dispatchToMain([] {
          int tty = open("/dev/tty", O_WRONLY | O_CLOEXEC);
          if (write(tty, "[drained]", 9) != 9) _exit(unexpectedAnswer);
          close(tty);
        });
      });
    }
    long answer = application.runModal(alert);
    if (producer.joinable()) producer.join();
    termios after{};
    if (!hangUp && (tcgetattr(STDIN_FILENO, &after) != 0 || !sameSettings(before, after)))
      _exit(terminalNotRestored);
    _exit(exitStatusFor(answer));
  }
  close(streams[1]);
  bool shown = readUntil(master, run.screen, "Buttons:") && readUntil(master, run.screen, "\n") &&
               (waitFor.empty() || readUntil(master, run.screen, waitFor));
  EXPECT_TRUE(shown) << run.screen;
  if (hangUp) {
    close(master);
    master = -1;
  } else {
    for (const std::string& key : keys) {
      EXPECT_EQ(write(master, key.data(), key.size()), static_cast<ssize_t>(key.size()));
      std::this_thread::sleep_for(100ms);
    }
  }
  while (waitpid(child, &run.status, WNOHANG) == 0) {
    if (master < 0 || !readAvailable(master, run.screen, 10)) std::this_thread::sleep_for(10ms);
  }
  if (master >= 0) {
    while (readAvailable(master, run.screen, 0)) {
    }
    close(master);
  }
  char buffer[512];
  ssize_t count;
  while ((count = read(streams[0], buffer, sizeof buffer)) > 0)
    run.standardStreams.append(buffer, static_cast<size_t>(count));
  close(streams[0]);
  return run;
}

TEST(HostAlertTest, AnswersKeysOnARealTerminalAndRestoresIt) {
  Alert quitFirstCancels = quitAlert();
  Alert noEscape{"Install?", "", AlertStyle::informational, {{"Install", ""}, {"Later", ""}}};
  Alert noButtons{"Installed.", "", AlertStyle::informational, {}};
  Alert escapeFirst{"Stop?", "", AlertStyle::warning, {{"Stop", "\x1b"}, {"Go on", ""}}};
  struct Case {
    std::string name;
    Alert alert;
    std::vector<std::string> keys;
    int status;
    std::string answerShown;
    bool hangUp = false;
    bool dispatch = false;
  };
  const std::vector<Case> cases = {
      {"return", quitFirstCancels, {"\r"}, 10, "-> Quit"},
      {"line feed", quitFirstCancels, {"\n"}, 10, "-> Quit"},
      {"escape picks the cancel button", quitFirstCancels, {"\x1b"}, 11, "-> Cancel"},
      {"escape on the first button", escapeFirst, {"\x1b"}, 10, "-> Stop"},
      {"arrow keys and letters are ignored",
       quitFirstCancels,
       {"\x1b[A", "x", "\x1bOB\x1b[1;5C\r"},
       10,
       "-> Quit"},
      {"escape without a cancel button is ignored", noEscape, {"\x1b", "\r"}, 10, "-> Install"},
      {"an interrupt key is ignored, not obeyed", quitFirstCancels, {"\x03", "\x1c", "\r"}, 10, "-> Quit"},
      {"no buttons: the default one", noButtons, {"\x1b", "q", "\r"}, 10, "-> 好"},
      {"hang-up answers abort", quitFirstCancels, {}, answeredAbort, "", true},
      {"the main queue is drained meanwhile", quitFirstCancels, {"\r"}, 10, "-> Quit", false, true},
  };
  for (const Case& c : cases) {
    PtyRun run = runOnPty(c.alert, c.keys, c.dispatch ? "[drained]" : "", c.hangUp, c.dispatch);
    EXPECT_TRUE(WIFEXITED(run.status)) << c.name << " " << run.status;
    EXPECT_EQ(WEXITSTATUS(run.status), c.status) << c.name << "\n" << run.screen;
    std::string screen;
    for (char ch : run.screen)
      if (ch != '\r') screen += ch;
    if (size_t marker = screen.find("[drained]"); marker != std::string::npos)
      screen.erase(marker, 9);
    std::string layout = alertScreenText(c.alert);
    EXPECT_NE(screen.find(layout), std::string::npos) << c.name << "\n" << screen;
    if (!c.answerShown.empty()) {
      EXPECT_NE(screen.find(layout + c.answerShown + "\n"), std::string::npos) << c.name << "\n"
                                                                               << screen;
    }
    EXPECT_EQ(run.standardStreams, "") << c.name;
  }
}

}  // namespace
}  // namespace installer::host
