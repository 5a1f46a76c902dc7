#include <CommonCrypto/CommonDigest.h>

#include "platform/posix/system_calls.h"

namespace installer::posix {

struct Sha256::State {
  CC_SHA256_CTX context{};
  bool good = CC_SHA256_Init(&context) == 1;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {}
Sha256::~Sha256() = default;

bool Sha256::update(const void* bytes, std::size_t length) {
  state_->good =
      state_->good && CC_SHA256_Update(&state_->context, bytes, static_cast<CC_LONG>(length)) == 1;
  return state_->good;
}

std::optional<std::array<unsigned char, 32>> Sha256::finish() {
  std::array<unsigned char, 32> digest{};
  if (!state_->good || CC_SHA256_Final(digest.data(), &state_->context) != 1) return std::nullopt;
  return digest;
}

}  // namespace installer::posix
