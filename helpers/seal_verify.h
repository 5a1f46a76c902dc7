#pragma once

#include <string>

#include "helpers/bundle_seal.h"

namespace helpers {

struct VerifyOptions {
  /// Also refuse symbolic links that lead outside the bundle.
  bool strict = false;
  /// When not empty, the SHA-256 (lower-case hex) of the raw public key that
  /// must have signed the seal, and every nested one.
  std::string publisher;
};

/// Checks the bundle open at `bundleFd` against its own seal, nested bundles
/// through theirs, reading every file once. Answers the digest of the seal it
/// checked against. Throws SealMismatch at the first difference (also for a
/// bundle without a seal, or one not signed by the publisher asked for),
/// SystemFailure when something cannot be read.
Digest verifyBundle(int bundleFd, const std::string& bundlePath, const VerifyOptions& options);

}  // namespace helpers
