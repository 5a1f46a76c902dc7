#include "helper_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace helpers_test {

std::string helperPath(const std::string& name) { return std::string(HELPERS_DIR) + "/" + name; }

HelperProcess::HelperProcess(const std::string& name, const std::vector<std::string>& arguments,
                             const std::vector<std::string>& environment) {
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error(std::string("pipe2: ") + std::strerror(errno));
  const std::string program = helperPath(name);
  std::vector<std::string> environmentEntries = environment;
  if (environmentEntries.empty()) environmentEntries.push_back("PATH=/usr/bin:/bin");
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (const std::string& entry : environmentEntries) envp.push_back(const_cast<char*>(entry.c_str()));
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
  int error = ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  if (error != 0) {
    ::close(pipeFds[0]);
    throw std::runtime_error("posix_spawn " + program + ": " + std::strerror(error));
  }
  errorFd_ = pipeFds[0];
}

HelperProcess::HelperProcess(HelperProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)), errorFd_(std::exchange(other.errorFd_, -1)) {}

HelperProcess::~HelperProcess() {
  if (pid_ > 0) finish();
}

HelperOutcome HelperProcess::finish() {
  HelperOutcome outcome;
  char buffer[4096];
  for (;;) {
    ssize_t count = ::read(errorFd_, buffer, sizeof buffer);
    if (count > 0) {
      outcome.standardError.append(buffer, static_cast<size_t>(count));
    } else if (count == 0 || errno != EINTR) {
      break;
    }
  }
  ::close(std::exchange(errorFd_, -1));
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return outcome;
}

HelperOutcome runHelper(const std::string& name, const std::vector<std::string>& arguments,
                        const std::vector<std::string>& environment) {
  return HelperProcess(name, arguments, environment).finish();
}

}  // namespace helpers_test
