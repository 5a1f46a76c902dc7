#include <gio/gio.h>

#include <algorithm>
#include <string>

#include "platform/host/host.h"
#include "platform/platform_error.h"

namespace installer {
namespace {

std::string oneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  return text;
}

}  // namespace

void SystemFileManager::trashItem(const FileURL& item) {
  // GIO's home Trash, and where it puts the item and its record.
  const std::string trash = std::string(g_get_user_data_dir()) + "/Trash";
  checkTrashFolders(item, {trash, trash + "/files", trash + "/info"});
  GFile* file = g_file_new_for_path(item.path().c_str());
  GError* error = nullptr;
  gboolean trashed = g_file_trash(file, nullptr, &error);
  g_object_unref(file);
  if (trashed) return;
  std::string reason = error ? oneLine(error->message) : "unknown error";
  if (error) g_error_free(error);
  throw PlatformError("Could not move " + item.path() + " to the Trash: " + reason);
}

// Linux keeps nothing about a volume beyond what statvfs says; whether it
// keeps modes, links and exchanges the installer finds out by trying them.
std::optional<VolumeStatus> SystemFileManager::volumeOf(const FileURL& item) {
  return PosixFileManager::volumeOf(item);
}

}  // namespace installer
