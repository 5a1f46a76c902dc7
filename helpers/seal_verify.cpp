#include "helpers/seal_verify.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#include "helpers/file_digest.h"
#include "helpers/link_escape.h"
#include "helpers/seal_file.h"
#include "helpers/seal_identity.h"
#include "helpers/seal_walk.h"
#include "helpers/system_failure.h"
#include "helpers/unique_fd.h"

namespace helpers {
namespace {

std::string octal(std::uint32_t mode) {
  char text[16];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode));
  return text;
}

std::string quoted(const std::string& text) { return "'" + printablePath(text) + "'"; }

/// Compares each entry of the walk with the seal, consuming what it matched:
/// whatever remains afterwards was removed from the bundle.
class SealComparison final : public SealVisitor {
 public:
  SealComparison(Seal& expected, int bundleFd, std::string bundlePath, const VerifyOptions& options)
      : expected_(expected), bundleFd_(bundleFd), bundlePath_(std::move(bundlePath)), options_(options) {}

  /// The entry sealed at `relative`, once it is on disk as `kind`.
  SealEntry take(const std::string& relative, EntryKind kind) {
    auto found = expected_.find(relative);
    if (found == expected_.end()) throw SealMismatch(relative, kindName(kind) + " added");
    SealEntry entry = std::move(found->second);
    expected_.erase(found);
    if (entry.kind != kind)
      throw SealMismatch(relative, "was a " + kindName(entry.kind) + ", now a " + kindName(kind));
    return entry;
  }

  void compareMode(const std::string& relative, const SealEntry& entry, const struct stat& status) {
    std::uint32_t mode = status.st_mode & 07777;
    if (mode != entry.mode)
      throw SealMismatch(relative, "mode changed from " + octal(entry.mode) + " to " + octal(mode));
  }

  void directory(const std::string& relative, const struct stat& status) override {
    compareMode(relative, take(relative, EntryKind::directory), status);
  }

  void file(int directoryFd, const char* name, const std::string& relative) override {
    SealEntry entry = take(relative, EntryKind::file);
    struct stat status;
    UniqueFd fd = openRegularFile(directoryFd, name, bundlePath_ + "/" + relative, status);
    compareMode(relative, entry, status);
    // Before a byte is read: a file grown (or made sparse and huge) after
    // sealing would otherwise be hashed to its end only to be refused.
    if (static_cast<std::uint64_t>(status.st_size) != entry.size)
      throw SealMismatch(relative,
                         "size changed from " + std::to_string(entry.size) + " to " + std::to_string(status.st_size));
    if (digestOfDescriptor(fd.get(), bundlePath_ + "/" + relative) != entry.digest)
      throw SealMismatch(relative, "content changed");
  }

  void symlink(const std::string& relative, const std::string& target) override {
    SealEntry entry = take(relative, EntryKind::symlink);
    if (target != entry.target)
      throw SealMismatch(relative, "symbolic link target changed from " + quoted(entry.target) + " to " +
                                       quoted(target));
    if (options_.strict && (linkLeadsOutside(relative, target) || linkResolvesOutside(bundleFd_, relative)))
      throw SealMismatch(relative, "symbolic link leads outside the bundle: " + quoted(target));
  }

  void nestedBundle(int directoryFd, const char* name, const std::string& relative,
                    const struct stat& status) override {
    SealEntry entry = take(relative, EntryKind::bundle);
    compareMode(relative, entry, status);
    UniqueFd nested(::openat(directoryFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!nested) throwSystemFailure("open", bundlePath_ + "/" + relative, errno);
    Digest sealDigest;
    try {
      sealDigest = verifyBundle(nested.get(), bundlePath_ + "/" + relative, options_);
    } catch (const SealMismatch& mismatch) {
      const std::string& innerRelative = mismatch.relative();
      if (innerRelative.empty() || innerRelative == ".")
        throw SealMismatch(relative, std::string("nested bundle ") + mismatch.what());
      throw SealMismatch(relative + "/" + innerRelative, mismatch.what());
    }
    if (sealDigest != entry.digest) throw SealMismatch(relative, "seal of the nested bundle changed");
  }

  void unsupported(const std::string& relative) override {
    throw SealMismatch(relative, "not a file, directory or symbolic link");
  }

 private:
  Seal& expected_;
  int bundleFd_;
  std::string bundlePath_;
  const VerifyOptions& options_;
};

}  // namespace

Digest verifyBundle(int bundleFd, const std::string& bundlePath, const VerifyOptions& options) {
  std::optional<LoadedSeal> seal = loadSeal(bundleFd, bundlePath);
  if (!seal) throw SealMismatch("", "not signed at all");
  if (!options.publisher.empty()) {
    if (seal->publicKey.empty()) throw SealMismatch("", "sealed ad hoc, not by the publisher");
    if (hexDigest(seal->publicKey) != options.publisher)
      throw SealMismatch("", "signed by another key (" + hexDigest(seal->publicKey) + "), not by the publisher");
  }
  struct stat status;
  if (::fstat(bundleFd, &status) != 0) throwSystemFailure("fstat", bundlePath, errno);
  SealComparison comparison(seal->entries, bundleFd, bundlePath, options);
  comparison.directory(".", status);
  walkBundle(bundleFd, bundlePath, comparison);
  if (!seal->entries.empty()) {
    const auto& [relative, entry] = *seal->entries.begin();
    throw SealMismatch(relative, kindName(entry.kind) + " removed");
  }
  return seal->digest;
}

}  // namespace helpers
