#pragma once

#include <string>

namespace helpers {

class SigningKey;

struct SignOptions {
  /// Replace a seal the bundle already carries.
  bool force = false;
  /// Seal nested bundles first, innermost first.
  bool deep = false;
  /// Signs each seal written with this key; null seals ad hoc.
  const SigningKey* key = nullptr;
};

/// Seals the bundle open at `bundleFd`. Without `deep`, every nested bundle
/// must already carry a seal it matches. Throws SealMismatch when the bundle
/// cannot be sealed (already sealed without `force`, no Contents, a name
/// that is not UTF-8, an unsupported file type, a nested bundle that does not
/// match its seal), SystemFailure when something cannot be read or written.
void signBundle(int bundleFd, const std::string& bundlePath, const SignOptions& options);

}  // namespace helpers
