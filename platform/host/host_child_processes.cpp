#include <array>
#include <cerrno>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/host/host.h"
#include "platform/host/host_spawn.h"
#include "platform/platform_error.h"

extern char** environ;

namespace installer::host {
namespace {

// The macOS tools the installer runs, and the helper standing in for each.
constexpr std::array<std::pair<std::string_view, std::string_view>, 3> helperOfTool = {{
    {"/bin/cp", "cp"},
    {"/usr/bin/codesign", "codesign"},
    {"/System/Library/Frameworks/CoreServices.framework/Frameworks/LaunchServices.framework/"
     "Support/lsregister",
     "lsregister"},
}};

}  // namespace

HostChildProcesses::HostChildProcesses(std::string helpersDirectory)
    : helpersDirectory_(std::move(helpersDirectory)) {}

int HostChildProcesses::run(const std::string& executable,
                            const std::vector<std::string>& arguments) {
  std::string program = executable;
  for (const auto& [tool, helper] : helperOfTool) {
    if (executable == tool) program = helpersDirectory_ + "/" + std::string(helper);
  }
  const std::string tool =
      program == executable ? executable : executable + " (" + program + ")";

  std::vector<char*> argv;
  argv.reserve(arguments.size() + 2);
  argv.push_back(const_cast<char*>(executable.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  SpawnSettings settings;
  int error = settings.prepare();
  pid_t child = -1;
  if (error == 0) {
    error = ::posix_spawn(&child, program.c_str(), settings.actions(), settings.attributes(),
                          argv.data(), environ);
  }
  if (error != 0) throw PlatformError("Could not start " + tool + ": " + posix::errorText(error));

  int status = 0;
  if (!waitForChild(child, status)) {
    throw PlatformError("Could not wait for " + tool + ": " + posix::errorText(errno));
  }
  return statusOfWait(status);
}

}  // namespace installer::host
