#include "retire/retired.h"

#include <exception>

#include "entry/constants.h"
#include "inspect/command.h"
#include "process/browser_processes.h"
#include "retire/build_copies.h"

namespace installer {
namespace {

bool isUntouched(const BundleInfo& info, const FileURL& at) {
  return info.matches(at) && arePrivateDirectories(info.privateFolders) &&
         browserProcesses(at).empty();
}

/// Runs the registration tool; the registration is a courtesy to Launch
/// Services, so its failure never decides what happens to the copy.
void runRegistrationTool(const std::string& option, const FileURL& at,
                         const std::string& failure) {
  try {
    command(lsregister, {option, at.path()}, failure);
  } catch (const std::exception&) {
  }
}

/// Moves the copy to the Trash unless it changed while the tool ran.
bool movedToTrash(const BundleInfo& info, const FileURL& at) {
  if (!isUntouched(info, at)) return false;
  try {
    files().trashItem(at);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

bool retired(const BundleInfo& info, const FileURL& at) {
  if (!isUntouched(info, at)) return false;
  // Asked first: a copy that stays is put back as it was, and registering
  // one that never was would offer a stray copy as the user's browser.
  const bool wasRegistered = workspace().isRegistered(at, browserIdentifier);
  runRegistrationTool("-u", at, "无法撤销旧应用登记。");
  if (movedToTrash(info, at)) return true;
  // Only the very copy that was unregistered may be registered again.
  if (wasRegistered && info.matches(at)) runRegistrationTool("-f", at, "无法恢复原应用登记。");
  return false;
}

}  // namespace installer
