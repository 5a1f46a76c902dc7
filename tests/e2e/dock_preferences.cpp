#include "dock_preferences.h"

#include <plist/plist.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>

#include "common.h"

namespace e2e {

namespace {

struct PlistFree {
  void operator()(plist_t node) const { plist_free(node); }
};
using PlistPointer = std::unique_ptr<void, PlistFree>;

std::string escapedForXml(std::string_view text) {
  std::string escaped;
  for (char c : text) {
    switch (c) {
      case '&': escaped += "&amp;"; break;
      case '<': escaped += "&lt;"; break;
      case '>': escaped += "&gt;"; break;
      default: escaped += c;
    }
  }
  return escaped;
}

PlistPointer parsedFragment(std::string_view xml) {
  std::string document = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">" +
                         std::string(xml) + "</plist>\n";
  plist_t node = nullptr;
  plist_from_xml(document.data(), static_cast<std::uint32_t>(document.size()), &node);
  if (!node) throw HarnessError("not one property-list value: " + std::string(xml));
  return PlistPointer(node);
}

std::string ownedString(char* text) {
  std::string copy = text ? text : "";
  std::free(text);
  return copy;
}

/// Dictionaries by sorted key, every array element on a line of its own.
std::string rendered(plist_t node) {
  switch (plist_get_node_type(node)) {
    case PLIST_DICT: {
      std::map<std::string, std::string> entries;
      plist_dict_iter iter = nullptr;
      plist_dict_new_iter(node, &iter);
      for (;;) {
        char* key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(node, iter, &key, &value);
        if (!value) {
          std::free(key);
          break;
        }
        entries[ownedString(key)] = rendered(value);
      }
      std::free(iter);
      std::string text = "{";
      for (const auto& [key, value] : entries)
        text += (text.size() > 1 ? ", " : "") + key + "=" + value;
      return text + "}";
    }
    case PLIST_ARRAY: {
      std::string text = "[\n";
      for (std::uint32_t index = 0; index < plist_array_get_size(node); ++index)
        text += "  " + rendered(plist_array_get_item(node, index)) + "\n";
      return text + "]";
    }
    case PLIST_STRING: {
      char* value = nullptr;
      plist_get_string_val(node, &value);
      return "\"" + ownedString(value) + "\"";
    }
    case PLIST_UINT: {
      std::uint64_t value = 0;
      plist_get_uint_val(node, &value);
      return std::to_string(value);
    }
    case PLIST_BOOLEAN: {
      std::uint8_t value = 0;
      plist_get_bool_val(node, &value);
      return value ? "true" : "false";
    }
    case PLIST_REAL: {
      double value = 0;
      plist_get_real_val(node, &value);
      return std::to_string(value);
    }
    case PLIST_DATA: {
      char* bytes = nullptr;
      std::uint64_t length = 0;
      plist_get_data_val(node, &bytes, &length);
      std::string hex = "<";
      for (std::uint64_t index = 0; index < length; ++index) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", static_cast<unsigned char>(bytes[index]));
        hex += pair;
      }
      std::free(bytes);
      return hex + ">";
    }
    default:
      return "(value of type " + std::to_string(plist_get_node_type(node)) + ")";
  }
}

}  // namespace

fs::path dockPreferencesFile(const fs::path& configHome) {
  return configHome / "preferences" / "com.apple.dock.plist";
}

std::string fileURLString(const fs::path& path, bool trailingSlash) {
  std::string url = "file://";
  for (unsigned char c : path.string()) {
    if (std::isalnum(c) && c < 0x80) {
      url += static_cast<char>(c);
    } else if (c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
      url += static_cast<char>(c);
    } else {
      char escape[4];
      std::snprintf(escape, sizeof escape, "%%%02X", c);
      url += escape;
    }
  }
  if (trailingSlash && !url.ends_with('/')) url += '/';
  return url;
}

std::string applicationTile(std::string_view urlString, std::string_view label) {
  return "<dict><key>tile-type</key><string>file-tile</string><key>tile-data</key><dict>"
         "<key>file-type</key><integer>41</integer><key>file-label</key><string>" + escapedForXml(label) + "</string>"
         "<key>file-data</key><dict><key>_CFURLString</key><string>" + escapedForXml(urlString) +
         "</string><key>_CFURLStringType</key><integer>15</integer></dict></dict></dict>";
}

void writeDockPreferences(const fs::path& file,
                          const std::vector<std::pair<std::string, std::string>>& values) {
  PlistPointer root(plist_new_dict());
  for (const auto& [key, xml] : values)
    plist_dict_set_item(root.get(), key.c_str(), plist_copy(parsedFragment(xml).get()));
  char* data = nullptr;
  std::uint32_t length = 0;
  plist_to_bin(root.get(), &data, &length);
  if (!data) throw HarnessError("libplist could not serialise the Dock's preferences");
  std::string bytes(data, length);
  plist_to_bin_free(data);
  writeFile(file, bytes, fs::perms(0600));
}

std::optional<std::string> dockPreference(const fs::path& file, const std::string& key) {
  const std::string bytes = readFile(file);
  plist_t parsed = nullptr;
  plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &parsed);
  PlistPointer root(parsed);
  if (!root || plist_get_node_type(root.get()) != PLIST_DICT)
    throw HarnessError(file.string() + " is not a property-list dictionary");
  plist_t value = plist_dict_get_item(root.get(), key.c_str());
  if (!value) return std::nullopt;
  return rendered(value);
}

std::string renderedValue(std::string_view xml) { return rendered(parsedFragment(xml).get()); }

}  // namespace e2e
