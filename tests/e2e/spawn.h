#pragma once

// Starting programs from the tests: descriptors that close themselves, argument
// and environment blocks built before fork (the child then calls only
// async-signal-safe functions), and running a tool to its end.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

using Environment = std::map<std::string, std::string>;

/// A file descriptor closed on destruction.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { reset(); }

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  int release();
  void reset();

 private:
  int fd_ = -1;
};

/// Both ends close-on-exec; dup2 in a child clears the flag on the copy.
struct Pipe {
  UniqueFd readEnd;
  UniqueFd writeEnd;
};
/// Throws HarnessError when the system refuses.
Pipe makePipe();

/// /dev/null opened read-write, close-on-exec.
UniqueFd openDevNull();

/// argv and envp for execve, owned together.
class ExecImage {
 public:
  ExecImage(const std::filesystem::path& program, const std::vector<std::string>& arguments,
            const Environment& environment);
  ExecImage(const ExecImage&) = delete;
  ExecImage& operator=(const ExecImage&) = delete;

  const char* program() const { return program_.c_str(); }
  char* const* argv() { return argv_.data(); }
  char* const* envp() { return envp_.data(); }

 private:
  std::string program_;
  std::vector<std::string> strings_;
  std::vector<char*> argv_;
  std::vector<char*> envp_;
};

/// Forks; the child runs `prepareChild` (async-signal-safe calls only: dup2,
/// setsid, ioctl, chdir), which answers 0 or the errno that stops the start,
/// and then execve of `image`. Answers the child's pid once execve succeeded;
/// throws HarnessError "execve PROGRAM: reason" otherwise.
pid_t forkExec(ExecImage& image, const std::function<int()>& prepareChild);

/// Appends whatever `fd` (non-blocking) holds now to `into`; answers false at
/// end of file or on an error that ends the stream (EIO of a pty master).
bool readAvailable(int fd, std::string& into);

/// The exit code, or 128 + the signal number for a process a signal ended.
int exitStatusOf(int waitStatus);

/// Waits for child `pid` up to `limit`; answers its waitpid status, or nothing.
std::optional<int> waitForChild(pid_t pid, std::chrono::milliseconds limit);

struct ToolResult {
  int exitStatus = -1;
  std::string standardOutput;
  std::string standardError;
};

/// Runs `program` with `arguments` and `environment`, standard input on
/// /dev/null, to its end (bounded by waitLimit); throws HarnessError when it
/// cannot be started or does not end.
ToolResult runTool(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                   const Environment& environment);

/// PATH and LANG only: what the harness's own tool runs see.
Environment toolEnvironment();

}  // namespace e2e
