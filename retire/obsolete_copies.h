#pragma once

#include <vector>

#include "inspect/bundle_info.h"
#include "platform/file_url.h"

namespace installer {

/// The verified records of older copies of the browser that can be retired:
/// browser-named bundles beside `destination` and, for an installation into
/// the user's own Applications folder, in the private temporary build
/// folders; never nested in another bundle, running, overlapping the data
/// directories, failing verification, or of a version not below `source`'s;
/// a build copy only while its folders are still private when it is verified
/// (each record names them in `privateFolders`).
/// Never returns `source`, `destination` or any of `excluding`. Sorted by
/// path (composed code points, stable). Never throws.
std::vector<BundleInfo> obsoleteCopies(const BundleInfo& source, const FileURL& destination,
                                       const std::vector<FileURL>& excluding);

/// The same, with the build folders looked for in `temporaryFolder`.
std::vector<BundleInfo> obsoleteCopies(const BundleInfo& source, const FileURL& destination,
                                       const std::vector<FileURL>& excluding,
                                       const FileURL& temporaryFolder);

}  // namespace installer
