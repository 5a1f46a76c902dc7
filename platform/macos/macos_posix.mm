#include <CommonCrypto/CommonDigest.h>
#include <fcntl.h>
#include <fts.h>
#include <signal.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/macos/macos.h"

namespace installer::macos {

std::optional<FileStatus> MacPosix::lstat(const std::string& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) return std::nullopt;
  return FileStatus{static_cast<std::int64_t>(status.st_dev),
                    status.st_ino,
                    status.st_mode,
                    status.st_uid,
                    static_cast<std::uint64_t>(status.st_size),
                    static_cast<std::uint64_t>(status.st_blocks) * 512};
}

std::optional<std::string> MacPosix::realpath(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (!resolved) return std::nullopt;
  std::string result(resolved);
  std::free(resolved);
  return result;
}

bool MacPosix::visitTree(const std::string& root,
                         const std::function<bool(const std::string&, const FileStatus&)>& visit) {
  char* roots[] = {const_cast<char*>(root.c_str()), nullptr};
  FTS* walk = ::fts_open(roots, FTS_PHYSICAL | FTS_NOCHDIR, nullptr);
  if (!walk) return false;
  bool whole = true;
  errno = 0;
  while (FTSENT* entry = ::fts_read(walk)) {
    if (entry->fts_info == FTS_DP) continue;  // a directory again, after its contents
    if (entry->fts_info == FTS_DNR || entry->fts_info == FTS_ERR || entry->fts_info == FTS_NS ||
        entry->fts_info == FTS_DC) {
      whole = false;
      break;
    }
    const struct stat& status = *entry->fts_statp;
    if (!visit(entry->fts_path,
               FileStatus{static_cast<std::int64_t>(status.st_dev), status.st_ino, status.st_mode,
                          status.st_uid, static_cast<std::uint64_t>(status.st_size),
                          static_cast<std::uint64_t>(status.st_blocks) * 512})) {
      whole = false;
      break;
    }
  }
  whole = whole && errno == 0;
  ::fts_close(walk);
  return whole;
}

std::optional<std::string> MacPosix::sha256OfFile(const std::string& path) {
  // O_NONBLOCK: a FIFO planted in the file's place must not hang the open.
  int file = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (file < 0) return std::nullopt;
  std::string bytes;
  struct stat status {};
  bool read = ::fstat(file, &status) == 0 && S_ISREG(status.st_mode);
  char buffer[65536];
  while (read) {
    ssize_t count = ::read(file, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) {
      read = count == 0;
      break;
    }
    bytes.append(buffer, static_cast<std::size_t>(count));
    read = bytes.size() <= std::numeric_limits<CC_LONG>::max();
  }
  ::close(file);
  if (!read) return std::nullopt;
  unsigned char digest[CC_SHA256_DIGEST_LENGTH];
  CC_SHA256(bytes.data(), static_cast<CC_LONG>(bytes.size()), digest);
  std::string hex;
  for (unsigned char byte : digest) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", byte);
    hex += pair;
  }
  return hex;
}

int MacPosix::openDirectory(const std::string& path) {
  return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

bool MacPosix::lockExclusiveNonBlocking(int descriptor) {
  return ::flock(descriptor, LOCK_EX | LOCK_NB) == 0;
}

void MacPosix::close(int descriptor) { ::close(descriptor); }

std::uint32_t MacPosix::getuid() { return ::getuid(); }

int MacPosix::kill(int processIdentifier, int signal) { return ::kill(processIdentifier, signal); }

int MacPosix::exchange(const std::string& first, const std::string& second) {
  if (::renamex_np(first.c_str(), second.c_str(), RENAME_SWAP) == 0) return 0;
  return errno;
}

std::string MacPosix::strerror(int error) { return ::strerror(error); }

void MacPosix::writeStandardError(const std::string& text) {
  std::fputs(text.c_str(), stderr);
  std::fflush(stderr);
}

void MacPosix::exit(int status) { std::exit(status); }

}  // namespace installer::macos
