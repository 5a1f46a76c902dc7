#include "retire/obsolete_copies.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <set>
#include <string>

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
};

/// The composed form under which paths are compared and ordered.
std::string comparisonKey(const FileURL& url) { return services().text->precomposed(url.path()); }

bool isInUserApplications(const FileURL& folder) {
  const FileURL applications =
      FileURL::fromAbsolutePath(files().homeDirectory()).appendingPathComponent("Applications");
  return sameText(canonicalPath(folder).path(), canonicalPath(applications).path());
}

std::vector<FileURL> candidateLocations(const FileURL& destination,
                                        const FileURL& temporaryFolder) {
  const FileURL folder = destination.deletingLastPathComponent();
  std::vector<FileURL> locations;
  try {
    locations = files().contentsOfDirectory(folder);
  } catch (const std::exception&) {
  }
  // Builds are installed for the user who made them, so their leftovers only
  // count as old copies of an installation in that user's own folder.
  if (isInUserApplications(folder)) {
    std::vector<FileURL> builds = temporaryBuildCopies(temporaryFolder);
    locations.insert(locations.end(), builds.begin(), builds.end());
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
  for (const FileURL& location : candidateLocations(destination, temporaryFolder)) {
    FileURL url = normalized(location);
    std::string key = comparisonKey(url);
    candidates.push_back({std::move(url), std::move(key)});
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
    std::optional<BundleInfo> info = verifiedOrNothing(candidate.url);
    if (!info || !lexicographicallyPrecedes(info->versionNumbers, source.versionNumbers)) continue;
    copies.push_back(std::move(*info));
  }
  return copies;
}

}  // namespace installer
