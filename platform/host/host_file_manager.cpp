#include <gio/gio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <string>

#include "platform/host/host.h"
#include "platform/platform_error.h"

namespace installer::host {
namespace {

/// The first of the home Trash, its "files" and its "info" that exists but
/// is no real folder of the user closed to others: a link to someone else's
/// folder, or a folder another user may write, would hand them what is
/// trashed. Missing ones GIO makes itself, private.
std::optional<std::string> unsafeHomeTrashFolder() {
  const std::string trash = std::string(g_get_user_data_dir()) + "/Trash";
  for (const std::string& folder : {trash, trash + "/files", trash + "/info"}) {
    struct stat status {};
    if (::lstat(folder.c_str(), &status) != 0) {
      if (errno == ENOENT) continue;
      return folder;
    }
    if (!S_ISDIR(status.st_mode) || status.st_uid != ::getuid() ||
        (status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
      return folder;
    }
  }
  return std::nullopt;
}

std::string oneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  return text;
}

}  // namespace

void HostFileManager::trashItem(const FileURL& item) {
  if (const std::optional<std::string> unsafe = unsafeHomeTrashFolder()) {
    throw PlatformError("Could not move " + item.path() + " to the Trash: " + *unsafe +
                        " is not a folder of this user that only this user may write");
  }
  GFile* file = g_file_new_for_path(item.path().c_str());
  GError* error = nullptr;
  gboolean trashed = g_file_trash(file, nullptr, &error);
  g_object_unref(file);
  if (trashed) return;
  std::string reason = error ? oneLine(error->message) : "unknown error";
  if (error) g_error_free(error);
  throw PlatformError("Could not move " + item.path() + " to the Trash: " + reason);
}

}  // namespace installer::host
