#pragma once

#include <string>

#include "helpers/bundle_seal.h"

namespace helpers {

struct VerifyOptions {
  /// Also refuse symbolic links that lead outside the bundle.
  bool strict = false;
};

/// Checks the bundle open at `bundleFd` against its own seal, nested bundles
/// through theirs, reading every file once. Answers the digest of the seal it
/// checked against. Throws SealMismatch at the first difference (also for a
/// bundle without a seal), SystemFailure when something cannot be read.
Digest verifyBundle(int bundleFd, const std::string& bundlePath, const VerifyOptions& options);

}  // namespace helpers
