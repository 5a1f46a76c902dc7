#include "process/browser_processes.h"

#include "entry/constants.h"
#include "inspect/location.h"
#include "platform/services.h"

namespace installer {
namespace {

/// Whether both paths name one directory entry; false when either cannot be
/// examined. A final symbolic link is the link itself, not what it points to.
bool sameEntry(const std::string& first, const std::string& second) {
  Posix& posix = *services().posix;
  const std::optional<FileStatus> a = posix.lstat(first);
  if (!a) return false;
  const std::optional<FileStatus> b = posix.lstat(second);
  if (!b) return false;
  return a->device == b->device && a->inode == b->inode;
}

bool startedFrom(const RunningApplication& instance, const std::optional<FileURL>& location) {
  if (instance.isTerminated()) return false;
  if (!location) return true;
  // For a copy the system runs translocated, the location the user put it at.
  const std::optional<FileURL> bundle = instance.bundleURL();
  if (!bundle) return false;
  const std::string path = normalized(*bundle).path();
  // Text first: the common case needs no file-system call at all.
  if (sameText(path, location->path())) return true;
  return sameEntry(path, location->path());
}

}  // namespace

std::vector<RunningApplicationHandle> browserProcesses(const std::optional<FileURL>& at) {
  std::vector<RunningApplicationHandle> selected;
  for (RunningApplicationHandle& instance :
       services().runningApplications->runningApplications(browserIdentifier)) {
    if (instance && startedFrom(*instance, at)) selected.push_back(std::move(instance));
  }
  return selected;
}

}  // namespace installer
