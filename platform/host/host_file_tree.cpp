#include <fcntl.h>
#include <fts.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>

#include "platform/host/host.h"

namespace installer::host {
namespace {

FileStatus fileStatusOf(const struct stat& status) {
  return FileStatus{static_cast<std::int64_t>(status.st_dev),
                    status.st_ino,
                    status.st_mode,
                    status.st_uid,
                    static_cast<std::uint64_t>(status.st_size),
                    static_cast<std::uint64_t>(status.st_blocks) * 512};
}

struct TreeWalkCloser {
  void operator()(FTS* walk) const { ::fts_close(walk); }
};

struct DigestContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

}  // namespace

bool HostPosix::visitTree(const std::string& root,
                          const std::function<bool(const std::string&, const FileStatus&)>& visit) {
  char* roots[] = {const_cast<char*>(root.c_str()), nullptr};
  std::unique_ptr<FTS, TreeWalkCloser> walk(::fts_open(roots, FTS_PHYSICAL | FTS_NOCHDIR, nullptr));
  if (!walk) return false;
  errno = 0;
  while (FTSENT* entry = ::fts_read(walk.get())) {
    switch (entry->fts_info) {
      case FTS_DP:
        continue;  // a directory again, after its contents
      case FTS_DNR:
      case FTS_ERR:
      case FTS_NS:
      case FTS_DC:
        return false;
      default:
        if (!visit(entry->fts_path, fileStatusOf(*entry->fts_statp))) return false;
    }
  }
  return errno == 0;
}

std::optional<std::string> HostPosix::sha256OfFile(const std::string& path) {
  // O_NONBLOCK: a FIFO planted in the file's place must not hang the open.
  int file = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (file < 0) return std::nullopt;
  std::unique_ptr<EVP_MD_CTX, DigestContextFree> context(EVP_MD_CTX_new());
  struct stat status {};
  bool read = context && ::fstat(file, &status) == 0 && S_ISREG(status.st_mode) &&
              EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) == 1;
  char buffer[65536];
  while (read) {
    ssize_t count = ::read(file, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) {
      read = count == 0;
      break;
    }
    read = EVP_DigestUpdate(context.get(), buffer, static_cast<std::size_t>(count)) == 1;
  }
  ::close(file);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned length = 0;
  if (!read || EVP_DigestFinal_ex(context.get(), digest, &length) != 1) return std::nullopt;
  std::string hex;
  for (unsigned i = 0; i < length; ++i) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", digest[i]);
    hex += pair;
  }
  return hex;
}

}  // namespace installer::host
