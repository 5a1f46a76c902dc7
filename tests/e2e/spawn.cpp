#include "spawn.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <linux/close_range.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "common.h"

namespace e2e {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    reset();
    fd_ = other.release();
  }
  return *this;
}

int UniqueFd::release() {
  int fd = fd_;
  fd_ = -1;
  return fd;
}

void UniqueFd::reset() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

Pipe makePipe() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    int error = errno;
    throw HarnessError(std::string("pipe2: ") + std::strerror(error));
  }
  return Pipe{UniqueFd(fds[0]), UniqueFd(fds[1])};
}

UniqueFd openDevNull() {
  int fd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    int error = errno;
    throw HarnessError(std::string("open /dev/null: ") + std::strerror(error));
  }
  return UniqueFd(fd);
}

ExecImage::ExecImage(const std::filesystem::path& program,
                     const std::vector<std::string>& arguments, const Environment& environment)
    : program_(program.string()) {
  strings_.reserve(1 + arguments.size() + environment.size());
  strings_.push_back(program_);
  for (const auto& argument : arguments) strings_.push_back(argument);
  for (const auto& [name, value] : environment) strings_.push_back(name + "=" + value);
  std::size_t index = 0;
  for (; index <= arguments.size(); ++index) argv_.push_back(strings_[index].data());
  argv_.push_back(nullptr);
  for (; index < strings_.size(); ++index) envp_.push_back(strings_[index].data());
  envp_.push_back(nullptr);
}

pid_t forkExec(ExecImage& image, const std::function<int()>& prepareChild) {
  Pipe execError = makePipe();
  pid_t pid = ::fork();
  if (pid < 0) {
    int error = errno;
    throw HarnessError(std::string("fork ") + image.program() + ": " + std::strerror(error));
  }
  if (pid == 0) {
    int error = prepareChild();
    if (error == 0) {
      // Whatever the test process holds stays out of the programs it starts.
      ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
      ::execve(image.program(), image.argv(), image.envp());
      error = errno;
    }
    ssize_t ignored = ::write(execError.writeEnd.get(), &error, sizeof error);
    (void)ignored;
    ::_exit(127);
  }
  execError.writeEnd.reset();
  int childError = 0;
  ssize_t count;
  do {
    count = ::read(execError.readEnd.get(), &childError, sizeof childError);
  } while (count < 0 && errno == EINTR);
  if (count > 0) {
    ::waitpid(pid, nullptr, 0);
    throw HarnessError(std::string("execve ") + image.program() + ": " + std::strerror(childError));
  }
  return pid;
}

bool readAvailable(int fd, std::string& into) {
  char buffer[65536];
  for (;;) {
    ssize_t count = ::read(fd, buffer, sizeof buffer);
    if (count > 0) {
      into.append(buffer, static_cast<std::size_t>(count));
      continue;
    }
    if (count == 0) return false;
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK;
  }
}

int exitStatusOf(int waitStatus) {
  if (WIFEXITED(waitStatus)) return WEXITSTATUS(waitStatus);
  if (WIFSIGNALED(waitStatus)) return 128 + WTERMSIG(waitStatus);
  return -1;
}

std::optional<int> waitForChild(pid_t pid, std::chrono::milliseconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    int status = 0;
    pid_t result = ::waitpid(pid, &status, WNOHANG);
    if (result == pid) return status;
    if (result < 0 && errno != EINTR) return std::nullopt;
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

ToolResult runTool(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                   const Environment& environment) {
  ExecImage image(program, arguments, environment);
  UniqueFd devNull = openDevNull();
  Pipe output = makePipe();
  Pipe errors = makePipe();
  pid_t pid = forkExec(image, [&] {
    ::dup2(devNull.get(), STDIN_FILENO);
    ::dup2(output.writeEnd.get(), STDOUT_FILENO);
    ::dup2(errors.writeEnd.get(), STDERR_FILENO);
    return 0;
  });
  output.writeEnd.reset();
  errors.writeEnd.reset();
  ::fcntl(output.readEnd.get(), F_SETFL, O_NONBLOCK);
  ::fcntl(errors.readEnd.get(), F_SETFL, O_NONBLOCK);

  ToolResult result;
  bool outputOpen = true;
  bool errorsOpen = true;
  auto deadline = std::chrono::steady_clock::now() + waitLimit;
  while (outputOpen || errorsOpen) {
    pollfd fds[2] = {{output.readEnd.get(), POLLIN, 0}, {errors.readEnd.get(), POLLIN, 0}};
    if (!outputOpen) fds[0].fd = -1;
    if (!errorsOpen) fds[1].fd = -1;
    if (std::chrono::steady_clock::now() >= deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
      throw HarnessError(program.string() + " did not end within the wait limit; stderr: " +
                         visible(result.standardError));
    }
    ::poll(fds, 2, 100);
    if (outputOpen) outputOpen = readAvailable(output.readEnd.get(), result.standardOutput);
    if (errorsOpen) errorsOpen = readAvailable(errors.readEnd.get(), result.standardError);
  }
  auto status = waitForChild(pid, waitLimit);
  if (!status) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    throw HarnessError(program.string() + " closed its output but did not end");
  }
  result.exitStatus = exitStatusOf(*status);
  return result;
}

Environment toolEnvironment() {
  return {{"PATH", "/usr/local/bin:/usr/bin:/bin"}, {"LANG", "C.UTF-8"}};
}

}  // namespace e2e
