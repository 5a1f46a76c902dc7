#include "platform/host/host_desktop_entries.h"

#include <fcntl.h>
#include <glib.h>
#include <openssl/evp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

#include "helpers/unique_fd.h"
#include "platform/host/host.h"
#include "platform/platform_error.h"
#include "platform/posix/bounded_read.h"

namespace installer::host {
namespace {

struct KeyFileDeleter {
  void operator()(GKeyFile* file) const { g_key_file_free(file); }
};

/// Text of a GLib error, which it frees.
std::string takeMessage(GError* error) {
  std::string message = error && error->message ? error->message : "unknown error";
  g_clear_error(&error);
  return message;
}

std::string failureOf(const std::string& operation, const std::string& path, int error) {
  return operation + " " + path + ": " + g_strerror(error);
}

/// Creates `path` and its missing parents, owner-only as the XDG rules ask
/// of the data home.
void createDirectories(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string prefix = path.substr(0, slash);
    if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST)
      throw PlatformError(failureOf("mkdir", prefix, errno));
    if (slash == std::string::npos) return;
  }
}

/// Holds an exclusive lock on the applications folder: a cache refresh that
/// scanned the folder before another registration wrote its entry must not
/// replace the cache that refresh wrote after.
class FolderLock {
 public:
  explicit FolderLock(const std::string& folder)
      : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (!fd_) throw PlatformError(failureOf("open", folder, errno));
    while (::flock(fd_.get(), LOCK_EX) != 0) {
      if (errno != EINTR) throw PlatformError(failureOf("flock", folder, errno));
    }
  }

 private:
  helpers::UniqueFd fd_;
};

/// Rebuilds the folder's mimeinfo.cache, which GIO and the desktops consult
/// for the handlers of a type. Without the tool they scan the entries
/// themselves, so its absence is no failure.
void refreshMimeCache(const std::string& folder) {
  const char* argv[] = {"update-desktop-database", "-q", folder.c_str(), nullptr};
  gchar* errors = nullptr;
  gint status = 0;
  GError* error = nullptr;
  const bool ran =
      g_spawn_sync(nullptr, const_cast<gchar**>(argv), nullptr,
                   static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_STDOUT_TO_DEV_NULL),
                   nullptr, nullptr, nullptr, &errors, &status, &error);
  std::unique_ptr<gchar, decltype(&g_free)> errorText(errors, g_free);
  if (!ran) {
    if (g_error_matches(error, G_SPAWN_ERROR, G_SPAWN_ERROR_NOENT)) {
      g_clear_error(&error);
      return;
    }
    throw PlatformError("update-desktop-database " + folder + ": " + takeMessage(error));
  }
  if (!g_spawn_check_wait_status(status, &error)) {
    std::string message = takeMessage(error);
    if (errors && *errors) message += ": " + std::string(errors);
    throw PlatformError("update-desktop-database " + folder + ": " + message);
  }
}

const std::string* stringOf(const PropertyDictionary& info, const char* key) {
  const PropertyValue* value = findProperty(info, key);
  const std::string* text = value ? value->string() : nullptr;
  return text && !text->empty() ? text : nullptr;
}

/// The strings of the array under `key` in each dictionary of the array
/// under `listKey`: the schemes of CFBundleURLTypes, the MIME types of
/// CFBundleDocumentTypes.
std::vector<std::string> nestedStrings(const PropertyDictionary& info, const char* listKey,
                                       const char* key) {
  std::vector<std::string> strings;
  const PropertyValue* list = findProperty(info, listKey);
  if (!list || !list->array()) return strings;
  for (const PropertyValue& element : *list->array()) {
    if (!element.dictionary()) continue;
    const PropertyValue* values = findProperty(*element.dictionary(), key);
    if (!values || !values->array()) continue;
    for (const PropertyValue& value : *values->array()) {
      if (value.string()) strings.push_back(*value.string());
    }
  }
  return strings;
}

std::string lowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(g_ascii_tolower(c)); });
  return text;
}

/// A URI scheme: a letter, then letters, digits, "+", "-" or ".".
bool isScheme(const std::string& text) {
  return !text.empty() && g_ascii_isalpha(text[0]) &&
         std::all_of(text.begin(), text.end(), [](unsigned char c) {
           return g_ascii_isalnum(c) || c == '+' || c == '-' || c == '.';
         });
}

/// A MIME token: printable ASCII other than space and the special characters.
bool isMimeToken(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) {
    return c > 0x20 && c < 0x7f &&
           std::string_view("()<>@,;:\\\"/[]?=").find(c) == std::string_view::npos;
  });
}

bool isMimeType(const std::string& text) {
  const size_t slash = text.find('/');
  return slash != std::string::npos && isMimeToken(text.substr(0, slash)) &&
         isMimeToken(text.substr(slash + 1));
}

/// What the bundle handles, each once, in the order Info.plist names them;
/// a malformed value is left out rather than written into the entry.
std::vector<std::string> mimeTypesOf(const PropertyDictionary& info) {
  std::vector<std::string> types;
  auto add = [&types](const std::string& type) {
    if (std::find(types.begin(), types.end(), type) == types.end()) types.push_back(type);
  };
  for (const std::string& scheme : nestedStrings(info, "CFBundleURLTypes", "CFBundleURLSchemes")) {
    if (isScheme(scheme)) add("x-scheme-handler/" + lowerCase(scheme));
  }
  for (const std::string& type :
       nestedStrings(info, "CFBundleDocumentTypes", "CFBundleTypeMIMETypes")) {
    if (isMimeType(type)) add(lowerCase(type));
  }
  return types;
}

/// Whether a desktop entry can hold `text`: UTF-8 without control characters
/// but the tab and the line breaks, which the key file writes escaped.
bool entryCanHold(const std::string& text) {
  return g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr) &&
         std::none_of(text.begin(), text.end(), [](unsigned char c) {
           return (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7f;
         });
}

std::string displayNameOf(const PropertyDictionary& info, const std::string& bundle) {
  for (const char* key : {"CFBundleDisplayName", "CFBundleName"}) {
    const std::string* name = stringOf(info, key);
    if (name && entryCanHold(*name)) return *name;
  }
  std::string name = bundle.substr(bundle.find_last_of('/') + 1);
  if (name.size() > 4 && name.ends_with(".app")) name.resize(name.size() - 4);
  return name;
}

/// Contents/Resources/<CFBundleIconFile as .png> when that is a regular file
/// lying in the bundle, no link on the way.
std::optional<std::string> pngIconOf(const PropertyDictionary& info, const std::string& bundle) {
  const std::string* iconFile = stringOf(info, "CFBundleIconFile");
  if (!iconFile || !isSingleName(*iconFile) || !entryCanHold(*iconFile)) return std::nullopt;
  std::string name = *iconFile;
  if (!name.ends_with(".png")) {
    if (name.ends_with(".icns")) name.resize(name.size() - 5);
    name += ".png";
  }
  helpers::UniqueFd folder(::open(bundle.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  for (const char* step : {"Contents", "Resources"}) {
    if (!folder) return std::nullopt;
    folder = helpers::UniqueFd(
        ::openat(folder.get(), step, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  }
  if (!folder) return std::nullopt;
  struct stat status {};
  if (::fstatat(folder.get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
      !S_ISREG(status.st_mode)) {
    return std::nullopt;
  }
  return bundle + "/Contents/Resources/" + name;
}

/// `argument` as one quoted argument of an Exec line: a launcher passes it on
/// whole whatever it holds. The key file adds its own escaping of backslashes
/// and line breaks on top when the line is stored.
std::string quotedExecArgument(const std::string& argument) {
  std::string quoted = "\"";
  for (char c : argument) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    if (c == '%') quoted += '%';
    quoted += c;
  }
  return quoted + "\"";
}

void throwUnlessBundle(const std::string& bundle) {
  struct stat status {};
  if (::stat(bundle.c_str(), &status) != 0) throw PlatformError(failureOf("stat", bundle, errno));
  if (!S_ISDIR(status.st_mode)) throw PlatformError(bundle + ": no bundle");
}

std::string currentDirectory() {
  std::string buffer(256, '\0');
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) throw PlatformError(failureOf("getcwd", ".", errno));
    buffer.resize(buffer.size() * 2);
  }
  buffer.resize(std::char_traits<char>::length(buffer.data()));
  return buffer;
}

}  // namespace

std::string desktopEntriesFolder() {
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  if (dataHome != nullptr && dataHome[0] == '/') return std::string(dataHome) + "/applications";
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] != '/')
    throw PlatformError("neither XDG_DATA_HOME nor HOME names an absolute folder");
  return std::string(home) + "/.local/share/applications";
}

std::string registeredBundlePath(const std::string& path) {
  const std::string absolute = path.starts_with('/') ? path : currentDirectory() + "/" + path;
  std::string tidy;
  size_t start = 0;
  while (start < absolute.size()) {
    size_t end = absolute.find('/', start);
    if (end == std::string::npos) end = absolute.size();
    const std::string component = absolute.substr(start, end - start);
    if (!component.empty() && component != ".") tidy += "/" + component;
    start = end + 1;
  }
  return tidy.empty() ? "/" : tidy;
}

std::string desktopEntryName(const std::string& bundle) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(bundle.data(), bundle.size(), digest, &length, EVP_sha256(), nullptr) != 1)
    throw PlatformError("SHA-256 of " + bundle + ": libcrypto failed");
  static constexpr char hex[] = "0123456789abcdef";
  std::string name = "quorvane-";
  for (unsigned int index = 0; index < 8; ++index) {
    name += hex[digest[index] >> 4];
    name += hex[digest[index] & 0xf];
  }
  return name + ".desktop";
}

void registerDesktopEntry(const std::string& folder, const std::string& bundle) {
  throwUnlessBundle(bundle);
  // Readers refuse an entry holding anything else, or take the path apart.
  if (!entryCanHold(bundle))
    throw PlatformError(bundle + ": a desktop entry cannot hold a path that is not UTF-8 " +
                        "or holds control characters");
  std::optional<PropertyDictionary> info = readBundleInfo(bundle);
  if (!info) throw PlatformError("cannot read " + bundle + "/Contents/Info.plist");
  const std::string* executable = stringOf(*info, "CFBundleExecutable");
  if (!executable || !isSingleName(*executable))
    throw PlatformError(bundle + ": Info.plist names no executable");

  std::unique_ptr<GKeyFile, KeyFileDeleter> entry(g_key_file_new());
  constexpr const char* group = G_KEY_FILE_DESKTOP_GROUP;
  g_key_file_set_string(entry.get(), group, G_KEY_FILE_DESKTOP_KEY_TYPE,
                        G_KEY_FILE_DESKTOP_TYPE_APPLICATION);
  g_key_file_set_string(entry.get(), group, G_KEY_FILE_DESKTOP_KEY_NAME,
                        displayNameOf(*info, bundle).c_str());
  const std::string exec = quotedExecArgument(bundle + "/Contents/MacOS/" + *executable) + " %U";
  g_key_file_set_string(entry.get(), group, G_KEY_FILE_DESKTOP_KEY_EXEC, exec.c_str());
  if (std::optional<std::string> icon = pngIconOf(*info, bundle))
    g_key_file_set_string(entry.get(), group, G_KEY_FILE_DESKTOP_KEY_ICON, icon->c_str());
  const std::vector<std::string> types = mimeTypesOf(*info);
  if (!types.empty()) {
    std::vector<const gchar*> list;
    list.reserve(types.size());
    for (const std::string& type : types) list.push_back(type.c_str());
    g_key_file_set_string_list(entry.get(), group, G_KEY_FILE_DESKTOP_KEY_MIME_TYPE, list.data(),
                               list.size());
  }
  // Only a program known to end the launch feedback may ask for it; an
  // arbitrary bundle's executable is not.
  g_key_file_set_boolean(entry.get(), group, G_KEY_FILE_DESKTOP_KEY_STARTUP_NOTIFY, FALSE);
  g_key_file_set_string(entry.get(), group, "X-Quorvane-Bundle", bundle.c_str());

  createDirectories(folder);
  FolderLock lock(folder);
  const std::string path = folder + "/" + desktopEntryName(bundle);
  GError* error = nullptr;
  // Written to a temporary file and renamed over the old entry, so a reader
  // sees the old entry or the new one, never a part.
  if (!g_key_file_save_to_file(entry.get(), path.c_str(), &error))
    throw PlatformError("write " + path + ": " + takeMessage(error));
  refreshMimeCache(folder);
}

void withdrawDesktopEntry(const std::string& folder, const std::string& bundle) {
  struct stat status {};
  if (::stat(folder.c_str(), &status) != 0 && errno == ENOENT) {
    throwUnlessBundle(bundle);
    return;  // Nothing was ever registered here.
  }
  FolderLock lock(folder);
  const std::string path = folder + "/" + desktopEntryName(bundle);
  if (::unlink(path.c_str()) != 0) {
    if (errno != ENOENT) throw PlatformError(failureOf("remove", path, errno));
    throwUnlessBundle(bundle);
  }
  refreshMimeCache(folder);
}

bool holdsDesktopEntry(const std::string& folder, const std::string& bundle) {
  // Far above any entry written here. The data home may be open to others:
  // what lies there is read only as the user's own file, never through a link.
  constexpr std::size_t maximumEntrySize = 1 << 16;
  const std::string path = folder + "/" + desktopEntryName(bundle);
  helpers::UniqueFd file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat status {};
  if (!file || ::fstat(file.get(), &status) != 0 || status.st_uid != ::getuid()) return false;
  const posix::FileBytes contents = posix::readOpenFile(file.get(), maximumEntrySize);
  if (contents.error != 0) return false;
  std::unique_ptr<GKeyFile, KeyFileDeleter> entry(g_key_file_new());
  if (!g_key_file_load_from_data(entry.get(), contents.bytes.data(), contents.bytes.size(),
                                 G_KEY_FILE_NONE, nullptr)) {
    return false;
  }
  std::unique_ptr<gchar, decltype(&g_free)> named(
      g_key_file_get_string(entry.get(), G_KEY_FILE_DESKTOP_GROUP, "X-Quorvane-Bundle", nullptr),
      g_free);
  return named && bundle == named.get();
}

}  // namespace installer::host
