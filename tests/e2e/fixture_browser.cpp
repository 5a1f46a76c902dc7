// The fixture browser: copied into every bundle the end-to-end tests make, it
// behaves as the file Contents/Resources/fixture-behaviour of its own bundle
// says (key=value lines):
//
//   mode=stay          run until SIGTERM, then exit 0
//   mode=exit          exit at once with status 3
//   mode=ignore-term   note every SIGTERM and keep running; only SIGKILL ends it
//   mode=crash         as stay, but note "CRASH PID" one second after the start
//                      and die of SIGKILL
//   processes=multi    behave as a multi-process browser: start a GPU process
//                      and a zygote running this executable again (the zygote
//                      forks a renderer), and a detached crash handler, the
//                      executable "crash-handler" beside this one, in a session
//                      of its own and re-parented to init. Each notes
//                      "SPAWN PID". Each child ends when the process it
//                      belongs to ends or asks it to (noting "END PID"), ending
//                      its own children first; a SIGTERM from anyone else is
//                      noted as "TERM PID" first. On SIGTERM the main process
//                      ends its children before it exits.
//   record=FOLDER      note this start in FOLDER (created if missing, one level):
//                        FOLDER/PID/{environment,arguments,session,parent,cwd,exe,fds}
//                        appears complete at once (written aside, then renamed);
//                        FOLDER/events gets "START PID", "TERM PID", "EXIT PID".
//
// While it runs, a SIGHUP (the Dock's "reload your preferences") is noted as
// "HUP PID" and survived, so a bundle made as a stand-in Dock counts them.
//
// It writes nowhere but FOLDER.

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

extern char** environ;

namespace {

std::string readWholeFile(const std::string& path) {
  std::string content;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return content;
  char buffer[4096];
  ssize_t count;
  while ((count = ::read(fd, buffer, sizeof buffer)) > 0) content.append(buffer, count);
  ::close(fd);
  return content;
}

std::string symbolicLinkTarget(const std::string& path) {
  char target[4096];
  ssize_t length = ::readlink(path.c_str(), target, sizeof target);
  return length < 0 ? std::string() : std::string(target, length);
}

bool writeWholeFile(const std::string& path, const std::string& content) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool complete = ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
  return ::close(fd) == 0 && complete;
}

/// One write on an O_APPEND descriptor, so concurrent instances never interleave.
void appendEvent(const std::string& folder, const char* event) {
  if (folder.empty()) return;
  std::string line = std::string(event) + " " + std::to_string(::getpid()) + "\n";
  int fd = ::open((folder + "/events").c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return;
  ssize_t ignored = ::write(fd, line.data(), line.size());
  (void)ignored;
  ::close(fd);
}

/// The descriptors open now, one "N -> target" line each, without the one
/// that lists them.
std::string openDescriptors() {
  std::string listing;
  DIR* directory = ::opendir("/proc/self/fd");
  if (!directory) return listing;
  int own = ::dirfd(directory);
  while (const dirent* entry = ::readdir(directory)) {
    if (entry->d_name[0] == '.') continue;
    if (std::atoi(entry->d_name) == own) continue;
    listing += std::string(entry->d_name) + " -> " +
               symbolicLinkTarget(std::string("/proc/self/fd/") + entry->d_name) + "\n";
  }
  ::closedir(directory);
  return listing;
}

std::string nulSeparated(char** strings) {
  std::string joined;
  for (char** item = strings; item && *item; ++item) {
    joined += *item;
    joined += '\0';
  }
  return joined;
}

void recordStart(const std::string& folder, char** argv, const std::string& descriptors) {
  if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) return;
  std::string pid = std::to_string(::getpid());
  std::string partial = folder + "/." + pid + ".partial";
  if (::mkdir(partial.c_str(), 0755) != 0) return;
  char cwd[4096];
  bool written = writeWholeFile(partial + "/environment", nulSeparated(environ)) &&
                 writeWholeFile(partial + "/arguments", nulSeparated(argv)) &&
                 writeWholeFile(partial + "/session", std::to_string(::getsid(0)) + "\n") &&
                 writeWholeFile(partial + "/parent", std::to_string(::getppid()) + "\n") &&
                 writeWholeFile(partial + "/cwd", std::string(::getcwd(cwd, sizeof cwd) ? cwd : "") + "\n") &&
                 writeWholeFile(partial + "/exe", symbolicLinkTarget("/proc/self/exe") + "\n") &&
                 writeWholeFile(partial + "/fds", descriptors);
  if (!written || ::rename(partial.c_str(), (folder + "/" + pid).c_str()) != 0) return;
  appendEvent(folder, "START");
}

struct Behaviour {
  std::string mode = "stay";
  std::string record;
  bool multiProcess = false;
};

/// B/Contents/MacOS/NAME -> B/Contents/Resources/fixture-behaviour.
Behaviour ownBehaviour() {
  Behaviour behaviour;
  std::string executable = symbolicLinkTarget("/proc/self/exe");
  std::string::size_type cut = executable.rfind("/MacOS/");
  if (cut == std::string::npos) return behaviour;
  std::string text = readWholeFile(executable.substr(0, cut) + "/Resources/fixture-behaviour");
  std::string::size_type start = 0;
  while (start < text.size()) {
    std::string::size_type end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    std::string::size_type equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string key = line.substr(0, equals);
    std::string value = line.substr(equals + 1);
    if (key == "mode") behaviour.mode = value;
    if (key == "record") behaviour.record = value;
    if (key == "processes") behaviour.multiProcess = value == "multi";
  }
  return behaviour;
}

// --- the processes of a multi-process browser -----------------------------

const std::string_view roleOption = "--type=";
const std::string_view ownerOption = "--browser=";

/// Starts `executable` with `arguments` in a child; answers its pid.
pid_t startChild(const std::string& executable, std::vector<std::string> arguments) {
  pid_t child = ::fork();
  if (child != 0) return child;
  std::vector<char*> argv{const_cast<char*>(executable.c_str())};
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  ::execv(executable.c_str(), argv.data());
  ::_exit(127);
}

void endChildren(const std::vector<pid_t>& children) {
  for (pid_t child : children) ::kill(child, SIGTERM);
  for (pid_t child : children) ::waitpid(child, nullptr, 0);
}

/// A child's life: it runs until `owner` (the process it belongs to) ends or
/// asks it to end; a SIGTERM from anyone else is noted and ends it too.
int runChild(const std::string& record, pid_t owner, const sigset_t& noted,
             const std::vector<pid_t>& children) {
  if (!record.empty()) ::mkdir(record.c_str(), 0755);  // a helper may run alone
  appendEvent(record, "SPAWN");
  int signals = ::signalfd(-1, &noted, SFD_CLOEXEC);
  int ownerDescriptor = owner > 0 ? static_cast<int>(::syscall(SYS_pidfd_open, owner, 0u)) : -1;
  pollfd sources[2] = {{signals, POLLIN, 0}, {ownerDescriptor, POLLIN, 0}};
  for (;;) {
    if (::poll(sources, ownerDescriptor >= 0 ? 2 : 1, -1) < 0) continue;
    if (sources[1].revents != 0) break;  // also when `owner` was gone before the watch began
    signalfd_siginfo signal{};
    if (::read(signals, &signal, sizeof signal) != sizeof signal) continue;
    if (signal.ssi_signo != SIGTERM) continue;
    if (static_cast<pid_t>(signal.ssi_pid) != owner) appendEvent(record, "TERM");
    break;
  }
  endChildren(children);
  appendEvent(record, "END");
  return 0;
}

/// The children of the main process: a GPU process, a zygote (forking a
/// renderer) and the crash handler, detached through an intermediate child.
std::vector<pid_t> startBrowserProcesses(const std::string& executable) {
  const std::string owner = std::string(ownerOption) + std::to_string(::getpid());
  std::vector<pid_t> children{startChild(executable, {std::string(roleOption) + "gpu", owner}),
                              startChild(executable, {std::string(roleOption) + "zygote", owner})};
  std::string handler = executable.substr(0, executable.rfind('/') + 1) + "crash-handler";
  pid_t intermediate = ::fork();
  if (intermediate == 0) {
    ::setsid();
    if (startChild(handler, {std::string(roleOption) + "crash-handler", owner}) < 0) ::_exit(1);
    ::_exit(0);
  }
  ::waitpid(intermediate, nullptr, 0);
  return children;
}

/// The process a child belongs to, from its --browser= argument; 0 without one.
pid_t ownerOf(char** argv) {
  for (char** argument = argv + 1; *argument; ++argument) {
    std::string_view text(*argument);
    if (text.starts_with(ownerOption)) return std::atoi(text.substr(ownerOption.size()).data());
  }
  return 0;
}

}  // namespace

int main(int, char** argv) {
  // Blocked before anything else, so a SIGTERM or SIGHUP sent while the start
  // is being recorded is noted instead of ending the process unseen.
  sigset_t noted;
  sigemptyset(&noted);
  sigaddset(&noted, SIGTERM);
  sigaddset(&noted, SIGHUP);
  sigprocmask(SIG_BLOCK, &noted, nullptr);

  std::string descriptors = openDescriptors();
  Behaviour behaviour = ownBehaviour();
  if (argv[1] && std::string_view(argv[1]).starts_with(roleOption)) {
    std::vector<pid_t> renderers;
    if (std::string_view(argv[1]) == "--type=zygote") {
      // The renderer is forked, not started: it runs this executable too.
      pid_t zygote = ::getpid();
      pid_t renderer = ::fork();
      if (renderer == 0) return runChild(behaviour.record, zygote, noted, {});
      renderers.push_back(renderer);
    }
    return runChild(behaviour.record, ownerOf(argv), noted, renderers);
  }
  if (!behaviour.record.empty()) recordStart(behaviour.record, argv, descriptors);

  if (behaviour.mode == "exit") {
    appendEvent(behaviour.record, "EXIT");
    return 3;
  }
  std::vector<pid_t> children;
  if (behaviour.multiProcess) children = startBrowserProcesses(symbolicLinkTarget("/proc/self/exe"));
  const timespec crashDelay{1, 0};
  for (;;) {
    int received = 0;
    if (behaviour.mode == "crash") {
      received = ::sigtimedwait(&noted, nullptr, &crashDelay);
      if (received < 0 && errno == EAGAIN) {
        appendEvent(behaviour.record, "CRASH");
        ::kill(::getpid(), SIGKILL);
      }
      if (received < 0) continue;
    } else if (sigwait(&noted, &received) != 0) {
      continue;
    }
    if (received == SIGHUP) {
      appendEvent(behaviour.record, "HUP");
      continue;
    }
    appendEvent(behaviour.record, "TERM");
    if (behaviour.mode != "ignore-term") break;
  }
  endChildren(children);
  appendEvent(behaviour.record, "EXIT");
  return 0;
}
