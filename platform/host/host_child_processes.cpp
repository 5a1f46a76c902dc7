#include <array>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/host/host.h"
#include "platform/posix/spawn.h"

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
  return posix::runToEnd(program, executable, arguments, tool);
}

}  // namespace installer::host
