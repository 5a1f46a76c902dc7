#include "helpers/seal_sign.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "helpers/bundle_seal.h"
#include "helpers/file_digest.h"
#include "helpers/seal_file.h"
#include "helpers/seal_verify.h"
#include "helpers/seal_walk.h"
#include "helpers/system_failure.h"
#include "helpers/unique_fd.h"
#include "platform/utf8.h"

namespace helpers {
namespace {

/// Prefixes a nested bundle's mismatch with the nested bundle's path.
SealMismatch nestedMismatch(const std::string& relative, const SealMismatch& mismatch) {
  if (mismatch.relative().empty() || mismatch.relative() == ".")
    return SealMismatch(relative, std::string("nested bundle ") + mismatch.what());
  return SealMismatch(relative + "/" + mismatch.relative(), mismatch.what());
}

/// Records every entry of the walk; nested bundles by the digest of their seal.
class SealRecorder final : public SealVisitor {
 public:
  SealRecorder(Seal& seal, std::string bundlePath, const SignOptions& options)
      : seal_(seal), bundlePath_(std::move(bundlePath)), options_(options) {}

  SealEntry& record(const std::string& relative, EntryKind kind) {
    if (!installer::isWellFormedUTF8(relative)) throw SealMismatch(relative, "name is not valid UTF-8");
    SealEntry& entry = seal_[relative];
    entry.kind = kind;
    return entry;
  }

  void directory(const std::string& relative, const struct stat& status) override {
    record(relative, EntryKind::directory).mode = status.st_mode & 07777;
  }

  void file(int directoryFd, const char* name, const std::string& relative) override {
    SealEntry& entry = record(relative, EntryKind::file);
    struct stat status;
    UniqueFd fd = openRegularFile(directoryFd, name, bundlePath_ + "/" + relative, status);
    entry.mode = status.st_mode & 07777;
    entry.size = static_cast<std::uint64_t>(status.st_size);
    entry.digest = digestOfDescriptor(fd.get(), bundlePath_ + "/" + relative);
  }

  void symlink(const std::string& relative, const std::string& target) override {
    if (!installer::isWellFormedUTF8(target)) throw SealMismatch(relative, "link target is not valid UTF-8");
    record(relative, EntryKind::symlink).target = target;
  }

  void nestedBundle(int directoryFd, const char* name, const std::string& relative,
                    const struct stat& status) override {
    SealEntry& entry = record(relative, EntryKind::bundle);
    entry.mode = status.st_mode & 07777;
    const std::string nestedPath = bundlePath_ + "/" + relative;
    UniqueFd nested(::openat(directoryFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!nested) throwSystemFailure("open", nestedPath, errno);
    try {
      if (options_.deep) {
        signBundle(nested.get(), nestedPath, options_);
        std::optional<LoadedSeal> written = loadSeal(nested.get(), nestedPath);
        if (!written) throw SealMismatch("", "lost its seal while signing");
        entry.digest = written->digest;
      } else {
        entry.digest = verifyBundle(nested.get(), nestedPath, VerifyOptions{});
      }
    } catch (const SealMismatch& mismatch) {
      if (!options_.deep && mismatch.relative().empty())
        throw SealMismatch(relative, std::string("nested bundle ") + mismatch.what() +
                                         " (sign it first, or use --deep)");
      throw nestedMismatch(relative, mismatch);
    }
  }

  void unsupported(const std::string& relative) override {
    throw SealMismatch(relative, "not a file, directory or symbolic link");
  }

 private:
  Seal& seal_;
  std::string bundlePath_;
  const SignOptions& options_;
};

}  // namespace

void signBundle(int bundleFd, const std::string& bundlePath, const SignOptions& options) {
  if (!options.force && carriesSeal(bundleFd, bundlePath))
    throw SealMismatch("", "is already signed (use -f to replace the seal)");
  // Created before the walk, so that the seal records the directory it lives in.
  bool createdSealDirectory = false;
  UniqueFd sealDirectory = openSealDirectory(bundleFd, bundlePath, createdSealDirectory);
  try {
    struct stat status;
    if (::fstat(bundleFd, &status) != 0) throwSystemFailure("fstat", bundlePath, errno);
    Seal seal;
    SealRecorder recorder(seal, bundlePath, options);
    recorder.directory(".", status);
    walkBundle(bundleFd, bundlePath, recorder);
    writeSeal(sealDirectory.get(), bundlePath, seal, options.key);
  } catch (...) {
    // A bundle we could not sign is left as we found it.
    if (createdSealDirectory) removeEmptySealDirectory(bundleFd);
    throw;
  }
}

}  // namespace helpers
