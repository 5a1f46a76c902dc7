#include "install/retirement.h"

#include <set>
#include <string>
#include <vector>

#include "entry/constants.h"
#include "platform/terminal_text.h"
#include "retire/dock_tiles.h"
#include "retire/obsolete_copies.h"
#include "retire/retired.h"

namespace installer {
namespace {

/// `heading` with `paths` below it, one a line; empty when there are none.
std::string section(const std::string& heading, const std::vector<std::string>& paths) {
  if (paths.empty()) return "";
  std::string text = heading;
  for (std::size_t index = 0; index < paths.size(); ++index) {
    if (index > 0) text += "\n";
    text += shownPath(paths[index]);
  }
  return text;
}

/// One alert for every copy left in place and every leftover put away;
/// none when there is nothing to tell.
void reportCopies(const std::vector<std::string>& notTrashed, const Leftovers& leftovers) {
  std::string text;
  for (const std::string& part :
       {section("以下旧应用暂未能移到废纸篓。\n", notTrashed),
        section("上次中断的安装留下的以下副本已移到废纸篓。\n", leftovers.trashed),
        section("上次中断的安装留下的以下副本暂未能移到废纸篓。\n", leftovers.stayed)}) {
    if (part.empty()) continue;
    if (!text.empty()) text += "\n\n";
    text += part;
  }
  if (text.empty()) return;
  Alert alert;
  alert.messageText = "新版已安装";
  alert.informativeText = text;
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
  for (const std::string& folder : folders)
    directories.push_back(FileURL::fromAbsolutePath(folder));
  try {
    services().durability->flushDirectories(directories);
  } catch (const std::exception&) {
  }
}

}  // namespace

void retireOldCopies(const Options& options, const PreflightFacts& facts, StagingDirectory& staging,
                     const Leftovers& leftovers, std::unique_ptr<Activity> activity) {
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
  // A report nobody answers must not keep the Mac awake.
  activity.reset();
  reportCopies(notTrashed, leftovers);
}

}  // namespace installer
