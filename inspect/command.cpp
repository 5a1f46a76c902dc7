#include "inspect/command.h"

#include "entry/installer_error.h"
#include "platform/services.h"

namespace installer {

void command(const std::string& executable, const std::vector<std::string>& arguments,
             const std::string& failure) {
  if (services().childProcesses->run(executable, arguments) != 0) throw InstallerError(failure);
}

}  // namespace installer
