#include "entry/entry.h"

#include "entry/constants.h"
#include "entry/installer_error.h"
#include "entry/options.h"
#include "install/install.h"
#include "platform/terminal_text.h"

namespace installer {
namespace {

/// Shows the failure alert, then writes the description to standard error
/// and exits with status 1.
void reportFailure(const std::exception_ptr& error) {
  Alert alert;
  alert.messageText = "无法安装" + browserName;
  alert.informativeText = userFacingDescription(error);
  alert.style = AlertStyle::critical;
  app().runModal(alert);
  // Written only once the alert is gone, so a reader of standard error never
  // sees the failure before the user did; filtered as the terminal alert is,
  // since the description quotes paths that anyone may have named.
  Posix& posix = *services().posix;
  posix.writeStandardError(withoutControls(userFacingDescription(error), true) + "\n");
  posix.exit(1);
}

}  // namespace

int runInstaller(const std::vector<std::string>& argumentVector) {
  app().setAccessoryActivationPolicy();
  app().activate();
  std::exception_ptr failure;
  try {
    install(Options::fromArguments(argumentVector));
  } catch (...) {
    failure = std::current_exception();
  }
  // Reported outside the handler, so nothing of the failed call is still
  // alive while the alert runs.
  if (failure) {
    reportFailure(failure);
    return 1;  // exit does not return; this keeps the status right if it ever did
  }
  return 0;
}

}  // namespace installer
