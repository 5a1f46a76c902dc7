#include "helpers/file_digest.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "helpers/system_failure.h"

namespace helpers {
namespace {

constexpr size_t readBlockSize = 1 << 20;

/// Fetched once: an implicit fetch on every initialisation costs a lookup per file.
const EVP_MD* sha256() {
  static EVP_MD* const algorithm = EVP_MD_fetch(nullptr, "SHA256", nullptr);
  if (algorithm == nullptr) throw SystemFailure("SHA-256 is not available from libcrypto");
  return algorithm;
}

class DigestContext {
 public:
  DigestContext() : context_(EVP_MD_CTX_new()) {
    if (!context_ || EVP_DigestInit_ex(context_.get(), sha256(), nullptr) != 1)
      throw SystemFailure("SHA-256 initialisation failed");
  }
  void update(const void* data, size_t length) {
    if (EVP_DigestUpdate(context_.get(), data, length) != 1)
      throw SystemFailure("SHA-256 update failed");
  }
  Digest finish() {
    Digest digest{};
    unsigned length = 0;
    if (EVP_DigestFinal_ex(context_.get(), digest.data(), &length) != 1 || length != digest.size())
      throw SystemFailure("SHA-256 finalisation failed");
    return digest;
  }

 private:
  struct Free {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
  };
  std::unique_ptr<EVP_MD_CTX, Free> context_;
};

}  // namespace

Digest digestOfDescriptor(int fd, const std::string& path) {
  // Left uninitialised: zeroing it would touch all of its pages before the
  // first read, which costs a check of a small bundle more than its hashing.
  static const std::unique_ptr<unsigned char[]> buffer =
      std::make_unique_for_overwrite<unsigned char[]>(readBlockSize);
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  DigestContext context;
  for (;;) {
    ssize_t count = ::read(fd, buffer.get(), readBlockSize);
    if (count < 0) {
      if (errno == EINTR) continue;
      throwSystemFailure("read", path, errno);
    }
    if (count == 0) return context.finish();
    context.update(buffer.get(), static_cast<size_t>(count));
  }
}

UniqueFd openRegularFile(int directoryFd, const char* name, const std::string& path,
                         struct stat& status) {
  // O_NONBLOCK: a file swapped for a FIFO after the walk looked must not hang us.
  UniqueFd fd(::openat(directoryFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!fd) throwSystemFailure("open", path, errno);
  if (::fstat(fd.get(), &status) != 0) throwSystemFailure("fstat", path, errno);
  if (!S_ISREG(status.st_mode)) throwSystemFailure("open", path, EINVAL);
  return fd;
}

Digest digestOfBytes(const std::string& bytes) {
  DigestContext context;
  context.update(bytes.data(), bytes.size());
  return context.finish();
}

}  // namespace helpers
