// The fixture browser: copied into every bundle the end-to-end tests make, it
// behaves as the file Contents/Resources/fixture-behaviour of its own bundle
// says (key=value lines):
//
//   mode=stay          run until SIGTERM, then exit 0
//   mode=exit          exit at once with status 3
//   mode=ignore-term   note every SIGTERM and keep running; only SIGKILL ends it
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
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

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
  }
  return behaviour;
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
  if (!behaviour.record.empty()) recordStart(behaviour.record, argv, descriptors);

  if (behaviour.mode == "exit") {
    appendEvent(behaviour.record, "EXIT");
    return 3;
  }
  for (;;) {
    int received = 0;
    if (sigwait(&noted, &received) != 0) continue;
    if (received == SIGHUP) {
      appendEvent(behaviour.record, "HUP");
      continue;
    }
    appendEvent(behaviour.record, "TERM");
    if (behaviour.mode != "ignore-term") break;
  }
  appendEvent(behaviour.record, "EXIT");
  return 0;
}
