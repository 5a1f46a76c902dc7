#include "platform/posix/file_tree.h"

#include <fts.h>
#include <sys/stat.h>

#include <cerrno>
#include <memory>

#include "platform/posix/posix_system.h"

namespace installer::posix {
namespace {

struct TreeWalkCloser {
  void operator()(FTS* walk) const { ::fts_close(walk); }
};

}  // namespace

FileStatus fileStatusOf(const struct stat& status) {
  return FileStatus{static_cast<std::int64_t>(status.st_dev),
                    status.st_ino,
                    status.st_mode,
                    status.st_uid,
                    static_cast<std::uint64_t>(status.st_size),
                    static_cast<std::uint64_t>(status.st_blocks) * 512};
}

std::optional<TreeStop> walkTree(
    const std::string& root,
    const std::function<int(const std::string& path, const FileStatus& status)>& visit) {
  char* roots[] = {const_cast<char*>(root.c_str()), nullptr};
  std::unique_ptr<FTS, TreeWalkCloser> walk(::fts_open(roots, FTS_PHYSICAL | FTS_NOCHDIR, nullptr));
  if (!walk) return TreeStop{root, errno};
  for (;;) {
    // A successful fts_read may leave errno set; only an empty answer means
    // anything by it, so it is cleared before every call.
    errno = 0;
    FTSENT* entry = ::fts_read(walk.get());
    if (!entry) {
      if (errno == 0) return std::nullopt;
      return TreeStop{root, errno};
    }
    switch (entry->fts_info) {
      case FTS_DP:
        continue;  // a directory again, after its contents
      case FTS_DC:
        return TreeStop{entry->fts_path, ELOOP};
      case FTS_DNR:
      case FTS_ERR:
      case FTS_NS:
        return TreeStop{entry->fts_path, entry->fts_errno != 0 ? entry->fts_errno : EIO};
      default:
        if (int stop = visit(entry->fts_path, fileStatusOf(*entry->fts_statp)); stop != 0) {
          return TreeStop{entry->fts_path, stop};
        }
    }
  }
}

bool PosixSystem::visitTree(
    const std::string& root,
    const std::function<bool(const std::string&, const FileStatus&)>& visit) {
  return !walkTree(root, [&](const std::string& path, const FileStatus& status) {
    return visit(path, status) ? 0 : ECANCELED;
  });
}

}  // namespace installer::posix
