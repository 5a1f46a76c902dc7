#pragma once

#include <string>

namespace helpers {

/// Whether the symbolic link at `linkRelative` (a path inside a bundle) with
/// `target` leads outside that bundle, resolved lexically from the link's
/// directory: absolute targets and targets climbing above the root do.
bool linkLeadsOutside(const std::string& linkRelative, const std::string& target);

/// Whether the symbolic link at `linkRelative` inside the bundle open at
/// `bundleFd` resolves outside it, judged by the kernel resolving the whole
/// path beneath the bundle, through every link met on the way. A link to
/// nothing inside the bundle does not; one whose resolution never ends does.
bool linkResolvesOutside(int bundleFd, const std::string& linkRelative);

}  // namespace helpers
