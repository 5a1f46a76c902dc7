#include "installer_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "common.h"
#include "sandbox.h"

namespace e2e {

namespace {

struct PseudoTerminal {
  UniqueFd master;
  UniqueFd slave;
};

PseudoTerminal openPseudoTerminal() {
  PseudoTerminal pty;
  pty.master = UniqueFd(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!pty.master) {
    int error = errno;
    throw HarnessError(std::string("posix_openpt: ") + std::strerror(error));
  }
  char name[128];
  if (::grantpt(pty.master.get()) != 0 || ::unlockpt(pty.master.get()) != 0 ||
      ::ptsname_r(pty.master.get(), name, sizeof name) != 0) {
    int error = errno;
    throw HarnessError(std::string("pseudo-terminal setup: ") + std::strerror(error));
  }
  pty.slave = UniqueFd(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!pty.slave) {
    int error = errno;
    throw HarnessError(std::string("open ") + name + ": " + std::strerror(error));
  }
  // Wide enough that no alert line is wrapped by anything that looks at it.
  winsize size{};
  size.ws_col = 200;
  size.ws_row = 50;
  ::ioctl(pty.master.get(), TIOCSWINSZ, &size);
  return pty;
}

void setNonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

bool sameModes(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_lflag == b.c_lflag &&
         a.c_cc[VMIN] == b.c_cc[VMIN] && a.c_cc[VTIME] == b.c_cc[VTIME];
}

}  // namespace

InstallerRun InstallerRun::start(const Sandbox& sandbox, RunOptions options) {
  Environment environment = sandbox.environment();
  for (const auto& [name, value] : options.extraEnvironment) environment[name] = value;
  fs::path bundle = options.installerBundle.value_or(builtInstallerBundle());
  std::string workingDirectory = options.workingDirectory.value_or(sandbox.root()).string();
  std::vector<std::string> arguments = options.arguments;
  fs::path program = installerExecutable(bundle);
  if (!options.launcher.empty()) {
    arguments.insert(arguments.begin(), program.string());
    arguments.insert(arguments.begin(), options.launcher.begin() + 1, options.launcher.end());
    program = options.launcher.front();
  }
  ExecImage image(program, arguments, environment);

  InstallerRun run;
  Pipe output = makePipe();
  Pipe errors = makePipe();
  UniqueFd devNull = openDevNull();
  PseudoTerminal pty;
  if (options.controllingTerminal) {
    pty = openPseudoTerminal();
    ::tcgetattr(pty.master.get(), &run.initialModes_);
  }
  const int slave = pty.slave.get();
  run.pid_ = forkExec(image, [&] {
    ::setsid();
    if (slave >= 0) {
      ::ioctl(slave, TIOCSCTTY, 0);
      ::dup2(slave, STDIN_FILENO);
    } else {
      ::dup2(devNull.get(), STDIN_FILENO);
    }
    ::dup2(output.writeEnd.get(), STDOUT_FILENO);
    ::dup2(errors.writeEnd.get(), STDERR_FILENO);
    return ::chdir(workingDirectory.c_str()) == 0 ? 0 : errno;
  });
  run.terminal_ = std::move(pty.master);
  run.output_ = std::move(output.readEnd);
  run.errors_ = std::move(errors.readEnd);
  run.terminalOpen_ = static_cast<bool>(run.terminal_);
  for (const UniqueFd* fd : {&run.terminal_, &run.output_, &run.errors_})
    if (*fd) setNonBlocking(fd->get());
  return run;
}

InstallerRun::InstallerRun(InstallerRun&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      exitStatus_(other.exitStatus_),
      terminal_(std::move(other.terminal_)),
      output_(std::move(other.output_)),
      errors_(std::move(other.errors_)),
      screen_(std::move(other.screen_)),
      standardOutput_(std::move(other.standardOutput_)),
      standardError_(std::move(other.standardError_)),
      consumed_(other.consumed_),
      initialModes_(other.initialModes_),
      terminalOpen_(other.terminalOpen_),
      outputOpen_(other.outputOpen_),
      errorsOpen_(other.errorsOpen_) {}

InstallerRun::~InstallerRun() {
  if (pid_ <= 0 || exitStatus_) return;
  // Its own session and process group: the tools it runs go with it.
  ::kill(-pid_, SIGKILL);
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
}

void InstallerRun::pump(int waitMilliseconds) {
  pollfd fds[3] = {{terminalOpen_ ? terminal_.get() : -1, POLLIN, 0},
                   {outputOpen_ ? output_.get() : -1, POLLIN, 0},
                   {errorsOpen_ ? errors_.get() : -1, POLLIN, 0}};
  if (::poll(fds, 3, waitMilliseconds) < 0 && errno != EINTR) return;
  if (terminalOpen_) {
    std::string chunk;
    terminalOpen_ = readAvailable(terminal_.get(), chunk);
    chunk.erase(std::remove(chunk.begin(), chunk.end(), '\r'), chunk.end());
    screen_ += chunk;
  }
  if (outputOpen_) outputOpen_ = readAvailable(output_.get(), standardOutput_);
  if (errorsOpen_) errorsOpen_ = readAvailable(errors_.get(), standardError_);
}

bool InstallerRun::reapIfEnded() {
  if (exitStatus_) return true;
  int status = 0;
  if (::waitpid(pid_, &status, WNOHANG) == pid_) exitStatus_ = exitStatusOf(status);
  return exitStatus_.has_value();
}

bool InstallerRun::readingKeys() const {
  termios modes{};
  return terminal_ && ::tcgetattr(terminal_.get(), &modes) == 0 && !(modes.c_lflag & ICANON);
}

std::string InstallerRun::transcript() const {
  return "\n--- terminal ---\n" + visible(screen_) + "\n--- standard error ---\n" +
         visible(standardError_) + "\n--- standard output ---\n" + visible(standardOutput_) +
         "\n---";
}

std::optional<Alert> InstallerRun::takeWaitingAlert() {
  if (!findAlert(screen_, consumed_, false) && !(readingKeys() && findAlert(screen_, consumed_, true)))
    return std::nullopt;
  if (!readingKeys()) return std::nullopt;
  // A button line written in pieces gets the moment it needs to complete.
  pump(30);
  auto match = findAlert(screen_, consumed_, true);
  if (!match) return std::nullopt;
  consumed_ = match->end;
  match->alert.standardErrorBefore = standardError_;
  return match->alert;
}

Alert InstallerRun::waitForAlert() {
  if (!terminal_) throw HarnessError("waitForAlert: this run has no terminal");
  auto deadline = std::chrono::steady_clock::now() + waitLimit;
  for (;;) {
    pump(10);
    if (std::optional<Alert> alert = takeWaitingAlert()) return *alert;
    if (reapIfEnded()) {
      pump(50);
      throw HarnessError("the installer ended with status " + std::to_string(*exitStatus_) +
                         " without an alert waiting for a key" + transcript());
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      std::string state = findAlert(screen_, consumed_, true)
                              ? "an alert is shown but the terminal never left canonical mode"
                              : "no alert appeared";
      throw HarnessError("waitForAlert: " + state + " within " +
                         std::to_string(waitLimit.count()) + " s" + transcript());
    }
  }
}

std::optional<Alert> InstallerRun::alertWithin(std::chrono::milliseconds limit) {
  if (!terminal_) return std::nullopt;
  auto deadline = std::chrono::steady_clock::now() + limit;
  do {
    pump(10);
    if (std::optional<Alert> alert = takeWaitingAlert()) return alert;
  } while (!reapIfEnded() && std::chrono::steady_clock::now() < deadline);
  return std::nullopt;
}

void InstallerRun::press(std::string_view keys) {
  if (!terminal_) throw HarnessError("press: this run has no terminal");
  std::size_t written = 0;
  while (written < keys.size()) {
    ssize_t count = ::write(terminal_.get(), keys.data() + written, keys.size() - written);
    if (count < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (count < 0) {
      int error = errno;
      throw HarnessError(std::string("press: write to the terminal: ") + std::strerror(error) +
                         transcript());
    }
    written += static_cast<std::size_t>(count);
  }
}

RunResult InstallerRun::finish() {
  auto deadline = std::chrono::steady_clock::now() + waitLimit;
  while (!reapIfEnded()) {
    if (std::chrono::steady_clock::now() >= deadline)
      throw HarnessError("the installer did not end within " + std::to_string(waitLimit.count()) +
                         " s" + transcript());
    pump(10);
  }
  // What it wrote before it ended may still be on its way through the
  // terminal; a process it left behind holding a pipe must not hang us.
  auto drainDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while ((terminalOpen_ || outputOpen_ || errorsOpen_) &&
         std::chrono::steady_clock::now() < drainDeadline)
    pump(10);

  RunResult result;
  result.exitStatus = *exitStatus_;
  result.standardOutput = standardOutput_;
  result.standardError = standardError_;
  result.terminal = screen_;
  if (terminal_) {
    termios after{};
    result.terminalRestored =
        ::tcgetattr(terminal_.get(), &after) == 0 && sameModes(initialModes_, after);
  }
  return result;
}

const std::string& InstallerRun::terminalSoFar() {
  pump(0);
  return screen_;
}

const std::string& InstallerRun::standardErrorSoFar() {
  pump(0);
  return standardError_;
}

}  // namespace e2e
