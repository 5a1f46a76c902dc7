#include "tree_snapshot.h"

#include <openssl/evp.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common.h"

namespace e2e {

namespace {

std::string sha256Hex(const std::string& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1)
    throw HarnessError("SHA-256: libcrypto failed");
  std::string hex;
  char pair[3];
  for (unsigned int i = 0; i < length; ++i) {
    std::snprintf(pair, sizeof pair, "%02x", digest[i]);
    hex += pair;
  }
  return hex;
}

TreeEntry entryOf(const fs::path& path) {
  struct stat status;
  if (::lstat(path.c_str(), &status) != 0) {
    int error = errno;
    throw HarnessError("lstat " + path.string() + ": " + std::strerror(error));
  }
  TreeEntry entry;
  entry.mode = status.st_mode & 07777;
  entry.inode = status.st_ino;
  entry.size = status.st_size;
  entry.modifiedNanoseconds =
      static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec;
  switch (status.st_mode & S_IFMT) {
    case S_IFREG:
      entry.type = 'f';
      entry.content = sha256Hex(readFile(path));
      break;
    case S_IFDIR:
      entry.type = 'd';
      break;
    case S_IFLNK:
      entry.type = 'l';
      entry.content = fs::read_symlink(path).string();
      break;
    default:
      entry.type = 'o';
  }
  return entry;
}

std::string describeChange(const TreeEntry& before, const TreeEntry& after) {
  std::string change;
  auto add = [&](const std::string& what) { change += (change.empty() ? "" : ", ") + what; };
  if (before.type != after.type) add(std::string("type ") + before.type + " -> " + after.type);
  if (before.mode != after.mode) {
    char modes[32];
    std::snprintf(modes, sizeof modes, "mode %04o -> %04o", before.mode, after.mode);
    add(modes);
  }
  if (before.inode != after.inode) add("inode replaced");
  if (before.size != after.size)
    add("size " + std::to_string(before.size) + " -> " + std::to_string(after.size));
  if (before.content != after.content) add("content");
  if (before.modifiedNanoseconds != after.modifiedNanoseconds) add("modification time");
  return change;
}

}  // namespace

TreeSnapshot snapshotTree(const fs::path& root) {
  TreeSnapshot snapshot;
  snapshot["."] = entryOf(root);
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(root, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error))
    snapshot[it->path().lexically_relative(root).string()] = entryOf(it->path());
  if (error) throw HarnessError("list " + root.string() + ": " + error.message());
  return snapshot;
}

std::string treeDifferences(const TreeSnapshot& before, const TreeSnapshot& after) {
  std::string differences;
  for (const auto& [path, entry] : before) {
    auto found = after.find(path);
    if (found == after.end()) {
      differences += "removed " + path + "\n";
    } else if (!(found->second == entry)) {
      differences += "changed " + path + ": " + describeChange(entry, found->second) + "\n";
    }
  }
  for (const auto& [path, entry] : after)
    if (!before.contains(path)) differences += "added " + path + "\n";
  return differences;
}

}  // namespace e2e
