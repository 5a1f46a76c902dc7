#pragma once

#include <string>

namespace helpers {

/// Whether the symbolic link at `linkRelative` (a path inside a bundle) with
/// `target` leads outside that bundle, resolved lexically from the link's
/// directory: absolute targets and targets climbing above the root do.
bool linkLeadsOutside(const std::string& linkRelative, const std::string& target);

}  // namespace helpers
