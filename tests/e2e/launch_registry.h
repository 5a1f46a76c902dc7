#pragma once

// What the lsregister helper registers: freedesktop desktop entries in the
// applications folder of the sandbox's data home, one per bundle path.

#include <filesystem>
#include <string>
#include <vector>

namespace e2e {

class Sandbox;

/// The registered paths of `sandbox`, in file order; none while it has no registry.
std::vector<std::string> registeredBundles(const Sandbox& sandbox);

/// Registers `bundle` with the build's lsregister helper (`-f`) in `sandbox`'s
/// registry, as an earlier installation would have left it; throws
/// HarnessError when the helper refuses.
void registerBundle(const Sandbox& sandbox, const std::filesystem::path& bundle);

/// Expects one valid desktop entry starting `bundle`, which GIO offers for https.
void expectDesktopEntry(const Sandbox& sandbox, const std::filesystem::path& bundle);

}  // namespace e2e
