#include "helpers/seal_identity.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <cerrno>
#include <cstdio>

#include "helpers/file_digest.h"
#include "helpers/system_failure.h"

namespace helpers {
namespace {

constexpr std::size_t publicKeySize = 32;
constexpr std::size_t signatureSize = 64;

struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
using KeyHandle = std::unique_ptr<EVP_PKEY, KeyFree>;
struct ContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using ContextHandle = std::unique_ptr<EVP_MD_CTX, ContextFree>;

/// libcrypto's own reason for the last failure, for a diagnostic.
std::string cryptoReason() {
  char text[256] = "unknown reason";
  if (unsigned long code = ERR_get_error(); code != 0) ERR_error_string_n(code, text, sizeof text);
  ERR_clear_error();
  return text;
}

}  // namespace

struct SigningKey::Key {
  KeyHandle handle;
};

SigningKey::SigningKey(const std::string& pemPath) : key_(std::make_unique<Key>()) {
  std::FILE* file = std::fopen(pemPath.c_str(), "re");
  if (file == nullptr) throwSystemFailure("open", pemPath, errno);
  key_->handle.reset(PEM_read_PrivateKey(file, nullptr, nullptr, nullptr));
  std::fclose(file);
  if (!key_->handle) throw SystemFailure(printablePath(pemPath) + ": no PEM private key: " + cryptoReason());
  if (EVP_PKEY_get_id(key_->handle.get()) != EVP_PKEY_ED25519)
    throw SystemFailure(printablePath(pemPath) + ": not an Ed25519 key");
}

SigningKey::~SigningKey() = default;

std::string SigningKey::publicKey() const {
  std::string key(publicKeySize, '\0');
  std::size_t length = key.size();
  if (EVP_PKEY_get_raw_public_key(key_->handle.get(), reinterpret_cast<unsigned char*>(key.data()), &length) != 1 ||
      length != publicKeySize)
    throw SystemFailure("cannot read the public key: " + cryptoReason());
  return key;
}

std::string SigningKey::sign(const std::string& message) const {
  ContextHandle context(EVP_MD_CTX_new());
  std::string signature(signatureSize, '\0');
  std::size_t length = signature.size();
  // Ed25519 hashes the message itself: no digest is named, and it signs in one pass.
  if (!context || EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key_->handle.get()) != 1 ||
      EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &length,
                     reinterpret_cast<const unsigned char*>(message.data()), message.size()) != 1 ||
      length != signatureSize)
    throw SystemFailure("cannot sign the seal: " + cryptoReason());
  return signature;
}

bool signatureVerifies(const std::string& publicKey, const std::string& message, const std::string& signature) {
  if (publicKey.size() != publicKeySize || signature.size() != signatureSize) return false;
  KeyHandle key(EVP_PKEY_new_raw_public_key(
      EVP_PKEY_ED25519, nullptr, reinterpret_cast<const unsigned char*>(publicKey.data()), publicKey.size()));
  ContextHandle context(EVP_MD_CTX_new());
  const bool verifies =
      key && context && EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) == 1 &&
      EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.data()), signature.size(),
                       reinterpret_cast<const unsigned char*>(message.data()), message.size()) == 1;
  ERR_clear_error();
  return verifies;
}

std::string hexDigest(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (unsigned char byte : digestOfBytes(bytes)) {
    text += digits[byte >> 4];
    text += digits[byte & 0xf];
  }
  return text;
}

}  // namespace helpers
