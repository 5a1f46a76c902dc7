#pragma once

// The host's application registry that the lsregister helper keeps:
// ${XDG_DATA_HOME}/launch-services/registered-bundles.txt, one path a line.

#include <filesystem>
#include <string>
#include <vector>

namespace e2e {

class Sandbox;

/// The registry file of a data home.
std::filesystem::path registryFile(const std::filesystem::path& dataHome);

/// The registered paths of `sandbox`, in file order; none while it has no registry.
std::vector<std::string> registeredBundles(const Sandbox& sandbox);

/// Registers `bundle` with the build's lsregister helper (`-f`) in `sandbox`'s
/// registry, as an earlier installation would have left it; throws
/// HarnessError when the helper refuses.
void registerBundle(const Sandbox& sandbox, const std::filesystem::path& bundle);

}  // namespace e2e
