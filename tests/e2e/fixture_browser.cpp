// The fixture browser: copied into every bundle the end-to-end tests make, it
// behaves as the file Contents/Resources/fixture-behaviour of its own bundle
// says (key=value lines):
//
//   mode=stay          run until SIGTERM, then exit 0
//   mode=exit          exit at once with status 3
//   mode=ignore-term   note every SIGTERM and keep running; only SIGKILL ends it
//   mode=crash         as stay, but note "CRASH PID" one second after the start
//                      and die of SIGKILL
//   processes=chromium behave as a Chromium-family browser: start a GPU
//                      process (--type=gpu-process) and a zygote
//                      (--type=zygote), which starts a renderer
//                      (--type=renderer), all running this executable again
//   processes=gecko    behave as a Gecko-family browser: start a content
//                      process (-contentproc) and a fork server (-contentproc
//                      -forkserver), which starts another content process
//   crash-handler=yes  also start a crash handler running this executable
//                      with --type=crashpad-handler, double-forked so that it
//                      belongs to init (or the subreaper) from the start
//   linger=MS          helpers end MS milliseconds after the main process has
//                      ended (default 0). Each helper notes "SPAWN PID" and
//                      "END PID"; a SIGTERM, which its browser never sends,
//                      is noted as "TERM PID" and ends it at once. A helper
//                      started without --browser=PID runs until a signal.
//   record=FOLDER      note this start in FOLDER (created if missing, one level):
//                        FOLDER/PID/{environment,arguments,session,parent,cwd,exe,fds}
//                        appears complete at once (written aside, then renamed);
//                        FOLDER/events gets "START PID", "TERM PID", "EXIT PID".
//
// The main process does as real browsers do on SIGTERM: it exits at once
// without waiting for its helpers, which end on their own shortly after,
// re-parented meanwhile. Measured with Debian's chromium 156 and firefox-esr
// 153 run headless as an unprivileged user, SIGTERM sent to the main process
// and /proc polled every millisecond: chromium's zygotes and GPU process,
// re-parented to init, ended 90 to 160 ms after the main process; the Gecko
// main process ended 0.7 s after the signal and its fork server,
// re-parented, 40 ms after that. Chromium's helpers, and Gecko's content
// processes started by the fork server, show their arguments joined by spaces
// into one, a rewritten title; the renderer and the fork server's content
// process here do too.
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

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
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
  std::string processes = "single";
  bool crashHandler = false;
  std::chrono::milliseconds linger{0};
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
    if (key == "processes") behaviour.processes = value;
    if (key == "crash-handler") behaviour.crashHandler = value == "yes";
    if (key == "linger") behaviour.linger = std::chrono::milliseconds(std::atoi(value.c_str()));
  }
  return behaviour;
}

// --- the processes of a multi-process browser -----------------------------

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

/// The browser a helper belongs to, from its --browser= argument (also within
/// a title); 0 without one.
pid_t ownerOf(char** argv) {
  for (char** argument = argv + 1; *argument; ++argument) {
    std::string_view text(*argument);
    if (auto at = text.find(ownerOption); at != std::string_view::npos)
      return std::atoi(text.substr(at + ownerOption.size()).data());
  }
  return 0;
}

/// Whether this is one of a browser's helpers: it carries a real browser's marker.
bool isHelper(char** argv) {
  for (char** argument = argv + 1; *argument; ++argument) {
    std::string_view text(*argument);
    if (text.starts_with("--type=") || text.starts_with("-contentproc")) return true;
  }
  return false;
}

/// The helpers a helper starts in turn: the zygote a renderer, the fork
/// server a content process. Neither waits for them.
void startHelpersOfHelper(const std::string& executable, char** argv, const std::string& owner) {
  for (char** argument = argv + 1; *argument; ++argument) {
    std::string_view text(*argument);
    if (text == "--type=zygote") startChild(executable, {"--type=renderer " + owner});
    if (text == "-forkserver") startChild(executable, {"-contentproc -isForBrowser " + owner});
  }
}

/// A helper's life: it ends `linger` ms after the browser it belongs to has
/// ended, or at once on a SIGTERM, which its browser never sends and which it
/// notes. Without a browser it runs until a signal ends it.
int runHelper(const Behaviour& behaviour, pid_t owner, const sigset_t& noted) {
  if (!behaviour.record.empty()) ::mkdir(behaviour.record.c_str(), 0755);  // a helper may run alone
  appendEvent(behaviour.record, "SPAWN");
  int signals = ::signalfd(-1, &noted, SFD_CLOEXEC);
  int ownerDescriptor = owner > 0 ? static_cast<int>(::syscall(SYS_pidfd_open, owner, 0u)) : -1;
  pollfd sources[2] = {{signals, POLLIN, 0}, {ownerDescriptor, POLLIN, 0}};
  nfds_t watched = ownerDescriptor >= 0 ? 2 : 1;
  using Clock = std::chrono::steady_clock;
  std::optional<Clock::time_point> end;
  // Ended and reaped before the watch began.
  if (owner > 0 && ownerDescriptor < 0) end = Clock::now() + behaviour.linger;
  for (;;) {
    int timeout = -1;
    if (end)
      timeout = static_cast<int>(std::max<std::int64_t>(
          0, std::chrono::ceil<std::chrono::milliseconds>(*end - Clock::now()).count()));
    int ready = ::poll(sources, watched, timeout);
    if (ready < 0) continue;
    if (ready == 0 && end) break;
    if (watched == 2 && sources[1].revents != 0) {
      end = Clock::now() + behaviour.linger;
      watched = 1;
      continue;
    }
    signalfd_siginfo signal{};
    if (::read(signals, &signal, sizeof signal) != sizeof signal) continue;
    if (signal.ssi_signo != SIGTERM) continue;
    appendEvent(behaviour.record, "TERM");
    break;
  }
  appendEvent(behaviour.record, "END");
  return 0;
}

/// The helpers the main process starts, each running this executable again;
/// the crash handler through an intermediate child, so that it is re-parented
/// from the start.
void startBrowserProcesses(const Behaviour& behaviour, const std::string& executable) {
  const std::string owner = std::string(ownerOption) + std::to_string(::getpid());
  if (behaviour.processes == "chromium") {
    startChild(executable, {"--type=gpu-process", owner});
    startChild(executable, {"--type=zygote", owner});
  } else if (behaviour.processes == "gecko") {
    startChild(executable, {"-contentproc", "-socket", owner});
    startChild(executable, {"-contentproc", "-forkserver", owner});
  }
  if (!behaviour.crashHandler) return;
  pid_t intermediate = ::fork();
  if (intermediate == 0) {
    ::setsid();
    ::_exit(startChild(executable, {"--type=crashpad-handler", owner}) < 0 ? 1 : 0);
  }
  ::waitpid(intermediate, nullptr, 0);
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
  if (isHelper(argv)) {
    // Its own helpers are never waited for, and leave no zombie behind.
    ::signal(SIGCHLD, SIG_IGN);
    startHelpersOfHelper(symbolicLinkTarget("/proc/self/exe"), argv,
                         std::string(ownerOption) + std::to_string(ownerOf(argv)));
    return runHelper(behaviour, ownerOf(argv), noted);
  }
  if (!behaviour.record.empty()) recordStart(behaviour.record, argv, descriptors);

  if (behaviour.mode == "exit") {
    appendEvent(behaviour.record, "EXIT");
    return 3;
  }
  startBrowserProcesses(behaviour, symbolicLinkTarget("/proc/self/exe"));
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
  // As a real browser does, it leaves its helpers to end by themselves.
  appendEvent(behaviour.record, "EXIT");
  return 0;
}
