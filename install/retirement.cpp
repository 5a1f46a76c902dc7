#include "install/retirement.h"

#include <set>
#include <string>
#include <vector>

#include "entry/constants.h"
#include "retire/dock_tiles.h"
#include "retire/obsolete_copies.h"
#include "retire/retired.h"

namespace installer {
namespace {

void reportCopiesLeft(const std::vector<std::string>& notTrashed) {
  Alert alert;
  alert.messageText = "新版已安装";
  alert.informativeText = "以下旧应用暂未能移到废纸篓。\n";
  for (std::size_t index = 0; index < notTrashed.size(); ++index) {
    if (index > 0) alert.informativeText += "\n";
    alert.informativeText += notTrashed[index];
  }
  alert.style = AlertStyle::warning;
  app().runModal(alert);
}

/// Puts the moves to the Trash on the disk before the user is told the
/// update is done: the folders the copies left. A move is one rename, so
/// either of its folders carries it. Best effort, as all of this phase.
void flushMovesFrom(const FileURL& stagingDirectory, bool replacedBundleMoved,
                    const std::set<std::string>& trashedPaths) {
  std::set<std::string> folders;
  if (replacedBundleMoved) folders.insert(stagingDirectory.path());
  for (const std::string& path : trashedPaths) {
    folders.insert(FileURL::fromAbsolutePath(path).deletingLastPathComponent().path());
  }
  if (folders.empty()) return;
  std::vector<FileURL> directories;
  for (const std::string& folder : folders) directories.push_back(FileURL::fromAbsolutePath(folder));
  try {
    services().durability->flushDirectories(directories);
  } catch (const std::exception&) {
  }
}

}  // namespace

void retireOldCopies(const Options& options, const PreflightFacts& facts,
                     StagingDirectory& staging) {
  std::vector<std::string> notTrashed;
  std::set<std::string> trashedPaths;
  const FileURL stagedBundle = staging.stagedBundle();

  // No Dock tile can point into the hidden staging directory, so the
  // replaced bundle has no tiles to remove.
  const bool replacedBundleMoved =
      facts.destinationInfo && retired(*facts.destinationInfo, stagedBundle);
  if (facts.destinationInfo && !replacedBundleMoved) {
    staging.keepStaging = true;
    notTrashed.push_back(stagedBundle.path());
  }

  std::vector<FileURL> excluding{stagedBundle};
  if (facts.currentInfo) {
    const FileURL& current = facts.currentInfo->url;
    excluding.push_back(current);
    if (facts.retireCurrent.value_or(false)) {
      if (retired(*facts.currentInfo, current)) {
        trashedPaths.insert(current.path());
      } else {
        notTrashed.push_back(current.path());
      }
    }
  }

  for (const BundleInfo& info : obsoleteCopies(facts.sourceInfo, options.destination, excluding)) {
    if (retired(info, info.url)) {
      trashedPaths.insert(info.url.path());
    } else {
      notTrashed.push_back(info.url.path());
    }
  }

  removeDockEntries(trashedPaths);
  flushMovesFrom(staging.url(), replacedBundleMoved, trashedPaths);
  if (!notTrashed.empty()) reportCopiesLeft(notTrashed);
}

}  // namespace installer
