#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "platform/host/host.h"
#include "platform/platform_error.h"
#include "tests/platform/host_test_folder.h"

namespace installer::host {
namespace {

using fixtures::ScopedVariable;
using fixtures::TemporaryFolder;
namespace fs = std::filesystem;

const std::string codesign = "/usr/bin/codesign";

/// The command line, NUL-separated, then the open descriptors.
const fixtures::ProbeRegistration commandLineProbe("command-line", [] {
  std::string answer = fixtures::readFile("/proc/self/cmdline") + "\n";
  DIR* descriptors = ::opendir("/proc/self/fd");
  while (const dirent* entry = ::readdir(descriptors)) {
    std::string name = entry->d_name;
    if (name != "." && name != ".." && std::atoi(name.c_str()) != ::dirfd(descriptors)) {
      answer += name + " ";
    }
  }
  ::closedir(descriptors);
  return answer;
});

std::string startFailure(HostChildProcesses& children, const std::string& executable,
                         const std::vector<std::string>& arguments = {}) {
  try {
    children.run(executable, arguments);
  } catch (const PlatformError& error) {
    return error.what();
  }
  return "(started)";
}

TEST(HostChildProcessesTest, AnswersTheStatusAndNonZeroAfterASignal) {
  TemporaryFolder folder;
  const std::vector<std::pair<std::string, int>> cases = {
      {"exit 0", 0}, {"exit 1", 1}, {"exit 77", 77}, {"kill -TERM $$", 128 + 15},
      {"kill -KILL $$", 128 + 9},
  };
  HostChildProcesses children(folder / "Helpers");
  for (const auto& [body, status] : cases) {
    fixtures::writeScript(folder / "tool", body);
    EXPECT_EQ(children.run(folder / "tool", {}), status) << body;
  }
}

TEST(HostChildProcessesTest, StartFailuresNameTheToolAndTheReason) {
  TemporaryFolder folder;
  fs::create_directory(folder / "Helpers");
  fixtures::writeFile(folder / "not executable", "#!/bin/sh\n");
  HostChildProcesses children(folder / "Helpers");
  EXPECT_EQ(startFailure(children, codesign), "Could not start /usr/bin/codesign (" +
                                                  folder / "Helpers/codesign" +
                                                  "): No such file or directory");
  EXPECT_EQ(startFailure(children, folder / "missing"),
            "Could not start " + folder / "missing" + ": No such file or directory");
  EXPECT_EQ(startFailure(children, folder / "not executable"),
            "Could not start " + folder / "not executable" + ": Permission denied");
  EXPECT_EQ(startFailure(children, ""), "Could not start a program: the path is empty");
  // Cut at the NUL, the argument would name something else.
  EXPECT_EQ(startFailure(children, "/bin/true", {std::string("a\0b", 3)}),
            "Could not start /bin/true: an argument holds a NUL");
}

TEST(HostChildProcessesTest, SystemToolsRunTheirHelpersWithTheArgumentsUnchanged) {
  TemporaryFolder folder;
  fs::create_directory(folder / "Helpers");
  for (const char* name : {"cp", "lsregister"}) {
    fixtures::writeScript(folder / (std::string("Helpers/") + name), std::string("echo ") + name + " > \"$1\"");
  }
  fs::create_symlink(fixtures::thisExecutable(), folder / "Helpers/codesign");
  HostChildProcesses children(folder / "Helpers");

  EXPECT_EQ(children.run("/bin/cp", {folder / "cp.out"}), 0);
  EXPECT_EQ(fixtures::readFile(folder / "cp.out"), "cp\n");
  EXPECT_EQ(children.run("/System/Library/Frameworks/CoreServices.framework/Frameworks/"
                         "LaunchServices.framework/Support/lsregister",
                         {folder / "ls.out"}),
            0);
  EXPECT_EQ(fixtures::readFile(folder / "ls.out"), "lsregister\n");

  ScopedVariable probe(fixtures::probeVariable, "command-line");
  ScopedVariable output(fixtures::probeOutputVariable, (folder / "answer").c_str());
  // Deliberately inheritable: the child must not receive it.
  int inheritable = ::open(folder.path().c_str(), O_RDONLY);
  ASSERT_GE(inheritable, 3);
  const std::vector<std::string> arguments = {"-s",        "-", "with space", "quo\"te's",
                                              "new\nline", "",  "ü$HOME*",    "\xFF"};
  int status = children.run(codesign, arguments);
  ::close(inheritable);
  ASSERT_EQ(status, 0);

  std::string expected = codesign + '\0';
  for (const std::string& argument : arguments) expected += argument + '\0';
  std::string answer = fixtures::readFile(folder / "answer");
  std::size_t end = answer.rfind('\n');
  EXPECT_EQ(answer.substr(0, end), expected);
  std::istringstream descriptors(answer.substr(end + 1));
  for (int descriptor; descriptors >> descriptor;) {
    EXPECT_LE(descriptor, 2) << "leaked into the child";
  }
}

}  // namespace
}  // namespace installer::host
