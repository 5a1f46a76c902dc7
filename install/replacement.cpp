#include "install/replacement.h"

#include "entry/constants.h"
#include "entry/installer_error.h"
#include "platform/services.h"
#include "platform/terminal_text.h"
#include "process/browser_processes.h"
#include "process/exchange.h"
#include "process/launch.h"
#include "process/waiting.h"

namespace installer {
namespace {

std::vector<int> processIdentifiers(const std::vector<RunningApplicationHandle>& instances) {
  std::vector<int> identifiers;
  for (const auto& instance : instances) identifiers.push_back(instance->processIdentifier());
  return identifiers;
}

/// True when nothing but `runningInstance` (or nothing at all) runs from `location`.
bool onlyRunningInstanceAt(const FileURL& location, const RunningApplicationHandle& runningInstance) {
  for (const RunningApplicationHandle& instance : browserProcesses(location)) {
    if (!runningInstance || instance->processIdentifier() != runningInstance->processIdentifier()) {
      return false;
    }
  }
  return true;
}

/// The destination still holds what pre-flight saw there: that bundle, or nothing.
bool destinationUnchanged(const Options& options, const PreflightFacts& facts) {
  if (facts.destinationInfo) return facts.destinationInfo->matches(options.destination);
  return !services().posix->lstat(options.destination.path());
}

void revalidate(const Options& options, const PreflightFacts& facts,
                const StagingDirectory& staging, const BundleInfo& stagedInfo) {
  // The seal's digest, not the folder's identity, tells that the content is
  // what was confirmed: a source re-sealed in place keeps its identity.
  bool unchanged = stagedInfo.version == facts.sourceInfo.version &&
                   stagedInfo.sealDigest == facts.sourceInfo.sealDigest &&
                   staging.holds(stagedInfo) && facts.sourceInfo.matches(facts.sourceInfo.url) &&
                   destinationUnchanged(options, facts) &&
                   (!facts.currentInfo || facts.currentInfo->matches(facts.currentInfo->url)) &&
                   processIdentifiers(browserProcesses(options.current)) ==
                       processIdentifiers(facts.runningInstances) &&
                   onlyRunningInstanceAt(options.destination, facts.runningInstance);
  if (!unchanged) throw InstallerError("确认后应用或进程已发生变化，请重新打开安装程序。");
}

/// The destination as an entry of the locked install folder.
process::FolderEntry destinationEntry(const Options& options, const StagingDirectory& staging) {
  return staging.lock().entry(options.destination.lastPathComponent());
}

/// True when the destination holds `bundle`, by its path and in the locked folder.
bool installedAt(const Options& options, const StagingDirectory& staging,
                 const BundleInfo& bundle) {
  const std::optional<FileStatus> entry = services().posix->lstatAt(
      staging.lock().descriptor(), options.destination.lastPathComponent());
  return entry && entry->device == bundle.device && entry->inode == bundle.inode &&
         bundle.matches(options.destination);
}

/// Puts the exchange (or move) between the staging directory and the
/// destination's folder on the disk, so that what the user is told next
/// outlives a power cut.
void flushExchange(const Options& options, const StagingDirectory& staging) {
  services().durability->flushDirectories(
      {options.destination.deletingLastPathComponent(), staging.url()});
}

/// Raises the not-installed message for `error`, restarting the old browser
/// first when it was quit for this installation and nothing runs from it now.
[[noreturn]] void notInstalled(const PreflightFacts& facts, const std::exception_ptr& error) {
  if (facts.runningInstance && facts.currentInfo &&
      facts.currentInfo->matches(facts.currentInfo->url) &&
      browserProcesses(facts.currentInfo->url).empty()) {
    try {
      launch(facts.currentInfo->url);
    } catch (...) {
      // Best effort: the user reads that the old version is still in place.
    }
  }
  throw InstallerError("未完成安装，旧版仍在原位置。\n" + userFacingDescription(error));
}

/// Puts the old state back after a failed launch; the recovery error, if any step fails.
std::exception_ptr rollBack(const Options& options, const PreflightFacts& facts,
                            const StagingDirectory& staging, const BundleInfo& stagedInfo,
                            const std::vector<RunningApplicationHandle>& launchedInstances) {
  try {
    if (!installedAt(options, staging, stagedInfo)) throw InstallerError("安装位置已发生变化。");
    for (const RunningApplicationHandle& instance : launchedInstances) quit(instance);
    if (!browserProcesses(options.destination).empty()) {
      throw InstallerError("安装位置的浏览器仍在运行。");
    }
    const process::FolderEntry destination = destinationEntry(options, staging);
    if (!facts.destinationInfo) {
      process::move(destination, staging.stagedEntry(), options.destination,
                    staging.stagedBundle());
    } else {
      if (!staging.holds(*facts.destinationInfo)) throw InstallerError("旧版备份已发生变化。");
      process::swap(staging.stagedEntry(), destination);
    }
    flushExchange(options, staging);
    return nullptr;
  } catch (...) {
    return std::current_exception();
  }
}

}  // namespace

void replace(const Options& options, const PreflightFacts& facts, StagingDirectory& staging,
             const BundleInfo& stagedInfo) {
  revalidate(options, facts, staging, stagedInfo);
  if (facts.runningInstance) quit(facts.runningInstance);

  std::vector<RunningApplicationHandle> launchedInstances;
  try {
    if (!browserProcesses(options.destination).empty() ||
        !browserProcesses(options.current).empty()) {
      throw InstallerError("旧浏览器重新打开了，无法完成替换。");
    }
    if (!destinationUnchanged(options, facts)) throw InstallerError("安装位置已发生变化。");
    // The copy the tools verified by its path, still in the folder made for it.
    if (!staging.holds(stagedInfo)) {
      throw InstallerError("确认后应用或进程已发生变化，请重新打开安装程序。");
    }
    const process::FolderEntry destination = destinationEntry(options, staging);
    if (!facts.destinationInfo) {
      process::move(staging.stagedEntry(), destination, staging.stagedBundle(),
                    options.destination);
    } else {
      process::swap(staging.stagedEntry(), destination);
    }
  } catch (...) {
    notInstalled(facts, std::current_exception());
  }

  std::exception_ptr launchError;
  try {
    // A flush that fails leaves it open what a power cut would bring back:
    // the old bundle is put back as after a failed launch.
    flushExchange(options, staging);
    // What is started by its path must be what the exchange put there.
    if (!installedAt(options, staging, stagedInfo)) throw InstallerError("安装位置已发生变化。");
    launch(options.destination, [&](const RunningApplicationHandle& instance) {
      launchedInstances.push_back(instance);
    });
    return;
  } catch (...) {
    launchError = std::current_exception();
  }

  if (std::exception_ptr recoveryError =
          rollBack(options, facts, staging, stagedInfo, launchedInstances)) {
    staging.keepStaging = true;
    throw InstallerError("新版未能启动。\n" + userFacingDescription(launchError) +
                         "\n自动恢复失败。\n" + userFacingDescription(recoveryError) +
                         "\n备份位置\n" + shownPath(staging.url().path()));
  }
  notInstalled(facts, launchError);
}

}  // namespace installer
