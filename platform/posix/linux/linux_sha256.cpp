#include <openssl/evp.h>

#include "platform/posix/system_calls.h"

namespace installer::posix {

struct Sha256::State {
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  bool good = context && EVP_DigestInit_ex(context, EVP_sha256(), nullptr) == 1;
  ~State() { EVP_MD_CTX_free(context); }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {}
Sha256::~Sha256() = default;

bool Sha256::update(const void* bytes, std::size_t length) {
  state_->good = state_->good && EVP_DigestUpdate(state_->context, bytes, length) == 1;
  return state_->good;
}

std::optional<std::array<unsigned char, 32>> Sha256::finish() {
  std::array<unsigned char, 32> digest{};
  unsigned length = 0;
  if (!state_->good || EVP_DigestFinal_ex(state_->context, digest.data(), &length) != 1 ||
      length != digest.size()) {
    return std::nullopt;
  }
  return digest;
}

}  // namespace installer::posix
