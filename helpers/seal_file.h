#pragma once

#include <optional>
#include <string>

#include "helpers/bundle_seal.h"
#include "helpers/unique_fd.h"

namespace helpers {

class SigningKey;

/// A bundle's seal as read from its CodeResources, with the digest of the
/// file's bytes (what an enclosing bundle's seal records for it) and, for a
/// signed seal, the raw public key whose signature over it verified.
struct LoadedSeal {
  Digest digest{};
  Seal entries;
  std::string publicKey;
};

/// Reads the seal of the bundle open at `bundleFd`: nothing when the bundle
/// carries none. Throws SealMismatch when the seal is no property list of the
/// expected shape or carries a signature that does not verify, SystemFailure
/// when it cannot be read.
std::optional<LoadedSeal> loadSeal(int bundleFd, const std::string& bundlePath);

/// Whether the bundle carries a CodeResources file at all.
bool carriesSeal(int bundleFd, const std::string& bundlePath);

/// Opens Contents/_CodeSignature, creating it when absent (then `created` is
/// set). Throws SealMismatch when the bundle has no Contents directory.
UniqueFd openSealDirectory(int bundleFd, const std::string& bundlePath, bool& created);

/// Removes Contents/_CodeSignature again when it is empty.
void removeEmptySealDirectory(int bundleFd);

/// Replaces the seal atomically (temporary file, then rename) by `seal`, an
/// XML property list, signed with `key` unless that is null (ad hoc). Throws
/// SystemFailure when it cannot.
void writeSeal(int sealDirectoryFd, const std::string& bundlePath, const Seal& seal, const SigningKey* key);

}  // namespace helpers
