#pragma once

#include <optional>
#include <string>

#include "helpers/bundle_seal.h"
#include "helpers/unique_fd.h"

namespace helpers {

/// A bundle's seal as read from its CodeResources, with the digest of the
/// file's bytes (what an enclosing bundle's seal records for it).
struct LoadedSeal {
  Digest digest{};
  Seal entries;
};

/// Reads the seal of the bundle open at `bundleFd`: nothing when the bundle
/// carries none. Throws SealMismatch when the seal is no property list of the
/// expected shape, SystemFailure when it cannot be read.
std::optional<LoadedSeal> loadSeal(int bundleFd, const std::string& bundlePath);

/// Whether the bundle carries a CodeResources file at all.
bool carriesSeal(int bundleFd, const std::string& bundlePath);

/// Opens Contents/_CodeSignature, creating it when absent (then `created` is
/// set). Throws SealMismatch when the bundle has no Contents directory.
UniqueFd openSealDirectory(int bundleFd, const std::string& bundlePath, bool& created);

/// Removes Contents/_CodeSignature again when it is empty.
void removeEmptySealDirectory(int bundleFd);

/// Replaces the seal atomically (temporary file, then rename) by `seal`, an
/// XML property list. Throws SystemFailure when it cannot.
void writeSeal(int sealDirectoryFd, const std::string& bundlePath, const Seal& seal);

}  // namespace helpers
