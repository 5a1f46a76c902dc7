#include "retire/dock_tiles.h"

#include <array>
#include <exception>
#include <optional>
#include <string_view>

#include "inspect/location.h"
#include "platform/file_url.h"
#include "platform/services.h"

namespace installer {
namespace {

const std::string dockIdentifier = "com.apple.dock";
constexpr std::array<std::string_view, 2> dockPreferenceKeys = {"persistent-apps", "recent-apps"};

/// The dictionary stored under `key`, or nothing.
const PropertyDictionary* dictionaryUnder(const PropertyDictionary& dictionary,
                                          const std::string& key) {
  const PropertyValue* value = findProperty(dictionary, key);
  return value ? value->dictionary() : nullptr;
}

/// The location a tile points at, when it is a readable file tile.
std::optional<FileURL> tileLocation(const PropertyDictionary& tile) {
  const PropertyDictionary* tileData = dictionaryUnder(tile, "tile-data");
  const PropertyDictionary* fileData = tileData ? dictionaryUnder(*tileData, "file-data") : nullptr;
  const PropertyValue* urlValue = fileData ? findProperty(*fileData, "_CFURLString") : nullptr;
  const std::string* urlString = urlValue ? urlValue->string() : nullptr;
  if (!urlString) return std::nullopt;
  // Type 0 (kCFURLPOSIXPathStyle) holds a plain path; the Dock writes 15, a URL.
  const PropertyValue* typeValue = findProperty(*fileData, "_CFURLStringType");
  const std::int64_t* type = typeValue ? std::get_if<std::int64_t>(&typeValue->storage()) : nullptr;
  if (type && *type == 0) {
    if (urlString->empty() || urlString->front() != '/') return std::nullopt;
    return FileURL::fromAbsolutePath(*urlString);
  }
  const std::optional<ParsedURL> parsed = parseURLString(*urlString);
  if (!parsed || !parsed->isFileURL()) return std::nullopt;
  return FileURL::fromAbsolutePath(parsed->path);
}

/// Composed paths: equal exactly for canonically equivalent texts.
class PathSet {
 public:
  explicit PathSet(const std::set<std::string>& paths) {
    for (const std::string& path : paths) composed_.insert(services().text->precomposed(path));
  }
  bool contains(const std::string& path) const {
    return composed_.contains(services().text->precomposed(path));
  }

 private:
  std::set<std::string> composed_;
};

bool pointsAtOneOf(const PropertyDictionary& tile, const PathSet& paths) {
  const std::optional<FileURL> location = tileLocation(tile);
  // The Dock may reach a copy through a linked folder; the copy's own name
  // is kept, since it no longer exists to be resolved.
  return location && paths.contains(normalized(*location).path());
}

/// Rewrites the tiles under `key` without those of `paths`; true when any went.
bool removedTiles(const std::string& key, const PathSet& paths) {
  Preferences& preferences = *services().preferences;
  const std::optional<PropertyValue> stored = preferences.copyValue(key, dockIdentifier);
  const PropertyArray* tiles = stored ? stored->array() : nullptr;
  if (!tiles) return false;
  PropertyArray kept;
  for (const PropertyValue& tile : *tiles) {
    const PropertyDictionary* dictionary = tile.dictionary();
    // A list the Dock does not write is not ours to edit.
    if (!dictionary) return false;
    if (!pointsAtOneOf(*dictionary, paths)) kept.push_back(tile);
  }
  if (kept.size() == tiles->size()) return false;
  preferences.setValue(key, PropertyValue(std::move(kept)), dockIdentifier);
  return true;
}

void signalRunningDocks() {
  for (const RunningApplicationHandle& dock :
       services().runningApplications->runningApplications(dockIdentifier)) {
    // 1 is init and -1 would address every process we may signal.
    if (!dock->isTerminated() && dock->processIdentifier() > 1) {
      dock->sendSignal(hangUpSignal);
    }
  }
}

}  // namespace

void removeDockEntries(const std::set<std::string>& paths) {
  if (paths.empty()) return;
  try {
    const PathSet wanted(paths);
    bool changed = false;
    for (std::string_view key : dockPreferenceKeys) {
      changed = removedTiles(std::string(key), wanted) || changed;
    }
    if (!changed || !services().preferences->synchronize(dockIdentifier)) return;
    signalRunningDocks();
  } catch (const std::exception&) {
    // Tidying the Dock is a courtesy after a finished installation.
  }
}

}  // namespace installer
