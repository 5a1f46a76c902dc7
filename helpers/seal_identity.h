#pragma once

#include <memory>
#include <string>

#include "helpers/bundle_seal.h"

namespace helpers {

/// An Ed25519 private key read from a PKCS#8 PEM file: the host's signing
/// identity.
class SigningKey {
 public:
  /// Throws SystemFailure when `pemPath` cannot be read or holds no Ed25519
  /// private key.
  explicit SigningKey(const std::string& pemPath);
  ~SigningKey();
  SigningKey(const SigningKey&) = delete;
  SigningKey& operator=(const SigningKey&) = delete;

  /// The raw 32-byte public key.
  std::string publicKey() const;
  /// The 64-byte Ed25519 signature of `message`.
  std::string sign(const std::string& message) const;

 private:
  struct Key;
  std::unique_ptr<Key> key_;
};

/// Whether `signature` is the Ed25519 signature of `message` by the raw
/// 32-byte `publicKey`. A malformed key or signature answers false.
bool signatureVerifies(const std::string& publicKey, const std::string& message, const std::string& signature);

/// The SHA-256 of `bytes` in lower-case hex: how a publisher is named.
std::string hexDigest(const std::string& bytes);

}  // namespace helpers
