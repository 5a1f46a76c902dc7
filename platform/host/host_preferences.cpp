#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>

#include "helpers/unique_fd.h"
#include "platform/host/host.h"
#include "platform/platform_error.h"

namespace installer {
namespace {

/// Far above what the Dock ever writes; a larger file is left alone unread.
constexpr std::size_t maximumPreferencesSize = 1 << 20;

/// What is known of one application's preferences file.
struct Domain {
  std::string path;
  /// False when the file cannot be named, or exists but cannot be read as a
  /// dictionary: then it must never be overwritten, or the user's other
  /// settings would be lost.
  bool writable = false;
  bool changed = false;
  /// Written back in the format it was read in.
  bool binary = false;
  PropertyDictionary values;
};

std::string configurationHome() {
  const char* configHome = std::getenv("XDG_CONFIG_HOME");
  if (configHome && configHome[0] == '/') return configHome;
  return SystemFileManager().homeDirectory() + "/.config";
}

/// Application identifiers name a file; one that could name another place is refused.
bool isUsableIdentifier(const std::string& application) {
  return !application.empty() && application != "." && application != ".." &&
         application.find('/') == std::string::npos &&
         application.find('\0') == std::string::npos;
}

Domain loadDomain(const std::string& application) {
  Domain domain;
  if (!isUsableIdentifier(application)) return domain;
  try {
    domain.path = configurationHome() + "/preferences/" + application + ".plist";
  } catch (const PlatformError&) {
    return domain;
  }
  // The folder may be writable by others: what lies there is read only when
  // it is the user's own file, not a link, and of a size a real one has.
  helpers::UniqueFd file(
      ::open(domain.path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (file.get() < 0) {
    domain.writable = errno == ENOENT;
    return domain;
  }
  struct stat status {};
  // An empty file of the user holds no settings to lose.
  if (::fstat(file.get(), &status) == 0 && S_ISREG(status.st_mode) && status.st_uid == ::getuid() &&
      status.st_size == 0) {
    domain.writable = true;
    return domain;
  }
  std::optional<PropertyValue> contents =
      host::readUserPropertyList(file.get(), maximumPreferencesSize, &domain.binary);
  if (contents && contents->dictionary()) {
    domain.values = *contents->dictionary();
    domain.writable = true;
  }
  return domain;
}

/// `mkdir -p` with folders private to the user, as the XDG folders are.
bool createFolders(const std::string& path) {
  return g_mkdir_with_parents(path.c_str(), 0700) == 0;
}

}  // namespace

struct SystemPreferences::State {
  std::mutex mutex;
  std::map<std::string, Domain> domains;

  Domain& domain(const std::string& application) {
    auto found = domains.find(application);
    if (found == domains.end()) found = domains.emplace(application, loadDomain(application)).first;
    return found->second;
  }
};

SystemPreferences::SystemPreferences() : state_(std::make_unique<State>()) {}
SystemPreferences::~SystemPreferences() = default;

std::optional<PropertyValue> SystemPreferences::copyValue(const std::string& key,
                                                          const std::string& application) {
  std::lock_guard lock(state_->mutex);
  const PropertyValue* value = findProperty(state_->domain(application).values, key);
  if (!value) return std::nullopt;
  return *value;
}

void SystemPreferences::setValue(const std::string& key, const PropertyValue& value,
                                 const std::string& application) {
  std::lock_guard lock(state_->mutex);
  Domain& domain = state_->domain(application);
  domain.changed = true;
  for (PropertyEntry& entry : domain.values) {
    if (entry.key == key) {
      entry.value = value;
      return;
    }
  }
  domain.values.push_back(PropertyEntry{key, value});
}

bool SystemPreferences::synchronize(const std::string& application) {
  std::lock_guard lock(state_->mutex);
  Domain& domain = state_->domain(application);
  if (!domain.writable) return false;
  if (!domain.changed) return true;
  std::string folder = domain.path.substr(0, domain.path.find_last_of('/'));
  if (!createFolders(folder) ||
      !host::writePropertyList(domain.path, PropertyValue(domain.values), domain.binary)) {
    return false;
  }
  domain.changed = false;
  return true;
}

}  // namespace installer
