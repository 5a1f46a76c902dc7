#include "retire/obsolete_copies.h"

#include <algorithm>
#include <exception>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "entry/constants.h"
#include "inspect/data_directories.h"
#include "inspect/location.h"
#include "inspect/version.h"
#include "process/browser_processes.h"
#include "retire/build_copies.h"

namespace installer {
namespace {

struct Candidate {
  FileURL url;
  /// The composed form of the path: equal for canonically equivalent paths,
  /// and ordered by code point as bytes.
  std::string key;
  /// For a build copy, the folders that must stay private (BuildCopy::folders).
  std::vector<FileURL> privateFolders;
};

/// The composed form under which paths are compared and ordered.
std::string comparisonKey(const FileURL& url) { return services().text->precomposed(url.path()); }

/// False also when the home folder cannot be found: the installation has
/// succeeded by now, and a missing home must not turn it into a failure.
bool isInUserApplications(const FileURL& folder) {
  try {
    const FileURL applications =
        FileURL::fromAbsolutePath(files().homeDirectory()).appendingPathComponent("Applications");
    return sameText(canonicalPath(folder).path(), canonicalPath(applications).path());
  } catch (const std::exception&) {
    return false;
  }
}

/// The items beside the destination and, where they count, the build
/// copies, with the folders each must stay private in; as listed.
std::vector<BuildCopy> candidateLocations(const FileURL& destination,
                                          const FileURL& temporaryFolder) {
  const FileURL folder = destination.deletingLastPathComponent();
  std::vector<BuildCopy> locations;
  try {
    for (FileURL& item : files().contentsOfDirectory(folder)) {
      locations.push_back({std::move(item), {}});
    }
  } catch (const std::exception&) {
  }
  // Builds are installed for the user who made them, so their leftovers only
  // count as old copies of an installation in that user's own folder.
  if (isInUserApplications(folder)) {
    std::vector<BuildCopy> builds = buildCopiesIn(temporaryFolder);
    std::move(builds.begin(), builds.end(), std::back_inserter(locations));
  }
  return locations;
}

bool isOutsideDataDirectories(const FileURL& url) {
  try {
    checkDataDirectories({url});
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

std::optional<BundleInfo> verifiedOrNothing(const FileURL& url) {
  try {
    return verify(url);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace

std::vector<BundleInfo> obsoleteCopies(const BundleInfo& source, const FileURL& destination,
                                       const std::vector<FileURL>& excluding) {
  return obsoleteCopies(source, destination, excluding,
                        FileURL::fromAbsolutePath(std::string(systemTemporaryFolder)));
}

std::vector<BundleInfo> obsoleteCopies(const BundleInfo& source, const FileURL& destination,
                                       const std::vector<FileURL>& excluding,
                                       const FileURL& temporaryFolder) {
  std::vector<Candidate> candidates;
  for (BuildCopy& location : candidateLocations(destination, temporaryFolder)) {
    FileURL url = normalized(location.url);
    std::string key = comparisonKey(url);
    candidates.push_back({std::move(url), std::move(key), std::move(location.folders)});
  }
  std::stable_sort(candidates.begin(), candidates.end(),
                   [](const Candidate& a, const Candidate& b) { return a.key < b.key; });

  std::set<std::string> seen;
  for (const FileURL& url : excluding) seen.insert(comparisonKey(url));
  seen.insert(comparisonKey(source.url));
  seen.insert(comparisonKey(destination));

  std::vector<BundleInfo> copies;
  for (const Candidate& candidate : candidates) {
    // Cheapest first: verification runs the signature tool over the whole bundle.
    if (!seen.insert(candidate.key).second) continue;
    if (!hasBrowserName(candidate.url)) continue;
    if (isInsideAnotherBundle(candidate.url)) continue;
    if (!browserProcesses(candidate.url).empty()) continue;
    if (!isOutsideDataDirectories(candidate.url)) continue;
    // A build folder judged private when it was listed may since have become
    // a link to somewhere else, or writable by others: what it holds then is
    // not ours to verify. The folders as listed are looked at, since the
    // candidate's own path has had its links resolved.
    if (!arePrivateDirectories(candidate.privateFolders)) continue;
    // Another user's copy, or one another user could change, is theirs: it
    // is never unregistered, moved or registered again in this user's name.
    if (!isOwnTree(candidate.url)) continue;
    std::optional<BundleInfo> info = verifiedOrNothing(candidate.url);
    if (!info || !lexicographicallyPrecedes(info->versionNumbers, source.versionNumbers)) continue;
    info->privateFolders = std::move(candidate.privateFolders);
    copies.push_back(std::move(*info));
  }
  return copies;
}

}  // namespace installer
