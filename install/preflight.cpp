#include "install/preflight.h"

#include "entry/installer_error.h"
#include "inspect/data_directories.h"
#include "inspect/location.h"
#include "install/staging.h"
#include "install/volume_check.h"
#include "platform/services.h"
#include "process/browser_processes.h"

namespace installer {
namespace {

/// The downgrade refusal when `copy` is newer than the new bundle.
void refuseDowngrade(const BundleInfo& source, const std::optional<BundleInfo>& copy) {
  if (copy && lexicographicallyPrecedes(source.versionNumbers, copy->versionNumbers)) {
    throw InstallerError("安装包版本 " + source.version + " 低于现有浏览器 " + copy->version +
                         "，请选择相同或更新的版本。");
  }
}

bool shouldRetireCurrent(const BundleInfo& current, const BundleInfo& source,
                         const Options& options) {
  return !sameText(current.url.path(), options.destination.path()) &&
         !sameText(current.url.path(), source.url.path()) &&
         lexicographicallyPrecedes(current.versionNumbers, source.versionNumbers) &&
         !isInsideAnotherBundle(current.url);
}

}  // namespace

PreflightFacts preflight(const Options& options) {
  PreflightFacts facts{verifyInstallable(options.source), {}, {}, {}, {}, {}, {}};
  const BundleInfo& source = facts.sourceInfo;

  if (sameText(source.url.path(), options.destination.path())) {
    throw InstallerError("升级包与安装位置相同。");
  }
  // Before anything is verified there: whatever others may swap in would not
  // stay what was verified.
  const std::optional<VolumeStatus> volume = destinationVolume(options);
  refuseVolumeWithoutModes(volume);
  refuseSharedInstallDirectory(options);

  if (services().posix->lstat(options.destination.path())) {
    facts.destinationInfo = verify(options.destination);
  }

  facts.runningInstances = browserProcesses(options.current);
  if (facts.runningInstances.size() > 1 ||
      (facts.runningInstances.size() == 1 && !facts.runningInstances[0]->bundleURL())) {
    throw InstallerError("检测到多份正在运行的浏览器，请先退出其他副本后重试。");
  }
  if (!facts.runningInstances.empty()) facts.runningInstance = facts.runningInstances[0];

  if (options.current) {
    facts.currentLocation = options.current;
  } else if (facts.runningInstance) {
    facts.currentLocation = normalized(*facts.runningInstance->bundleURL());
  }

  if (facts.currentLocation) {
    if (sameText(facts.currentLocation->path(), options.destination.path()) &&
        facts.destinationInfo) {
      facts.currentInfo = facts.destinationInfo;
    } else {
      facts.currentInfo = verify(*facts.currentLocation);
    }
  }

  std::vector<FileURL> locations{source.url, options.destination};
  if (facts.currentInfo) locations.push_back(facts.currentInfo->url);
  checkDataDirectories(locations);

  refuseDowngrade(source, facts.destinationInfo);
  refuseDowngrade(source, facts.currentInfo);

  for (const RunningApplicationHandle& instance : browserProcesses(options.destination)) {
    if (!facts.runningInstance ||
        instance->processIdentifier() != facts.runningInstance->processIdentifier()) {
      throw InstallerError("安装位置的浏览器正在运行，请先退出后重试。");
    }
  }

  checkDestinationVolume(volume, source);

  if (facts.currentInfo)
    facts.retireCurrent = shouldRetireCurrent(*facts.currentInfo, source, options);
  return facts;
}

}  // namespace installer
