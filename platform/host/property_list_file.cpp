#include <fcntl.h>
#include <glib.h>
#include <plist/plist.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <variant>

#include "helpers/unique_fd.h"
#include "platform/host/host.h"
#include "platform/host/property_list_nul.h"
#include "platform/posix/bounded_read.h"

namespace installer::host {
namespace {

// Deeper nesting than any real property list is treated as malformed rather
// than risking the stack.
constexpr int maximumDepth = 512;

struct PlistDeleter {
  void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistPointer = std::unique_ptr<void, PlistDeleter>;

std::optional<std::string> fileContents(const std::string& path) {
  // O_NONBLOCK: a FIFO planted as Info.plist must not hang the open.
  helpers::UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!file) return std::nullopt;
  // libplist takes a 32-bit length.
  posix::FileBytes contents =
      posix::readOpenFile(file.get(), std::numeric_limits<std::uint32_t>::max());
  if (contents.error != 0) return std::nullopt;
  return std::move(contents.bytes);
}

std::optional<PropertyValue> valueOfNode(plist_t node, int depth);

std::optional<PropertyValue> arrayOfNode(plist_t node, int depth) {
  PropertyArray array;
  uint32_t size = plist_array_get_size(node);
  array.reserve(size);
  for (uint32_t index = 0; index < size; ++index) {
    std::optional<PropertyValue> element = valueOfNode(plist_array_get_item(node, index), depth);
    if (!element) return std::nullopt;
    array.push_back(std::move(*element));
  }
  return PropertyValue(std::move(array));
}

/// The text of a dictionary key. Debian's libplist cuts a key at an embedded
/// NUL without a word ("a\0b" reads as "a"), so such documents are refused
/// before they reach here (holdsEmbeddedNul).
std::optional<std::string> keyText(plist_t keyNode) {
  if (plist_get_node_type(keyNode) != PLIST_KEY) return std::nullopt;
  char* key = nullptr;
  plist_get_key_val(keyNode, &key);
  if (!key) return std::nullopt;
  std::string text(key);
  std::free(key);
  return text;
}

std::optional<PropertyValue> dictionaryOfNode(plist_t node, int depth) {
  PropertyDictionary dictionary;
  plist_dict_iter iterator = nullptr;
  plist_dict_new_iter(node, &iterator);
  if (!iterator) return std::nullopt;
  bool complete = true;
  std::set<std::string> keys;
  for (;;) {
    plist_t item = nullptr;
    plist_dict_next_item(node, iterator, nullptr, &item);
    if (!item) break;
    std::optional<std::string> key = keyText(plist_dict_item_get_key(item));
    std::optional<PropertyValue> value = valueOfNode(item, depth);
    // A binary list can name a key twice. Which value counts is then a guess
    // (the bundle check and the system could each take another), and a
    // rewrite would keep only one of them.
    if (!key || !value || !keys.insert(*key).second) {
      complete = false;
      break;
    }
    dictionary.push_back(PropertyEntry{std::move(*key), std::move(*value)});
  }
  std::free(iterator);
  if (!complete) return std::nullopt;
  return PropertyValue(std::move(dictionary));
}

std::optional<PropertyValue> valueOfNode(plist_t node, int depth) {
  if (!node || depth > maximumDepth) return std::nullopt;
  switch (plist_get_node_type(node)) {
    case PLIST_STRING: {
      uint64_t length = 0;
      const char* text = plist_get_string_ptr(node, &length);
      if (!text) return std::nullopt;
      return PropertyValue(std::string(text, length));
    }
    case PLIST_UINT: {
      uint64_t number = 0;
      plist_get_uint_val(node, &number);
      return PropertyValue(static_cast<std::int64_t>(number));
    }
    case PLIST_UID: {
      uint64_t number = 0;
      plist_get_uid_val(node, &number);
      return PropertyValue(static_cast<std::int64_t>(number));
    }
    case PLIST_REAL: {
      double number = 0;
      plist_get_real_val(node, &number);
      return PropertyValue(number);
    }
    case PLIST_BOOLEAN: {
      uint8_t flag = 0;
      plist_get_bool_val(node, &flag);
      return PropertyValue(flag != 0);
    }
    case PLIST_DATA: {
      uint64_t length = 0;
      const char* bytes = plist_get_data_ptr(node, &length);
      PropertyData data;
      if (bytes) data.bytes.assign(bytes, bytes + length);
      return PropertyValue(std::move(data));
    }
    case PLIST_DATE: {
      int32_t seconds = 0;
      int32_t microseconds = 0;
      plist_get_date_val(node, &seconds, &microseconds);
      return PropertyValue(PropertyDate{seconds + microseconds / 1e6});
    }
    case PLIST_ARRAY:
      return arrayOfNode(node, depth + 1);
    case PLIST_DICT:
      return dictionaryOfNode(node, depth + 1);
    default:
      return std::nullopt;
  }
}

/// libplist keeps dates as 32-bit seconds and microseconds; nothing when the
/// date lies outside that range.
plist_t dateNode(const PropertyDate& date) {
  double whole = std::floor(date.secondsSinceReference);
  if (!std::isfinite(whole) || whole < std::numeric_limits<int32_t>::min() ||
      whole > std::numeric_limits<int32_t>::max()) {
    return nullptr;
  }
  auto seconds = static_cast<int64_t>(whole);
  auto microseconds =
      static_cast<int64_t>(std::llround((date.secondsSinceReference - whole) * 1e6));
  if (microseconds >= 1000000) {
    seconds += 1;
    microseconds -= 1000000;
  }
  if (seconds > std::numeric_limits<int32_t>::max()) return nullptr;
  return plist_new_date(static_cast<int32_t>(seconds), static_cast<int32_t>(microseconds));
}

plist_t nodeOfValue(const PropertyValue& value, int depth);

plist_t arrayNode(const PropertyArray& array, int depth) {
  plist_t node = plist_new_array();
  for (const PropertyValue& element : array) {
    plist_t item = nodeOfValue(element, depth);
    if (!item) {
      plist_free(node);
      return nullptr;
    }
    plist_array_append_item(node, item);
  }
  return node;
}

plist_t dictionaryNode(const PropertyDictionary& dictionary, int depth) {
  plist_t node = plist_new_dict();
  for (const PropertyEntry& entry : dictionary) {
    plist_t item = nodeOfValue(entry.value, depth);
    if (!item) {
      plist_free(node);
      return nullptr;
    }
    plist_dict_set_item(node, entry.key.c_str(), item);
  }
  return node;
}

/// A new libplist tree for `value`, or nothing when libplist cannot hold it.
plist_t nodeOfValue(const PropertyValue& value, int depth) {
  if (depth > maximumDepth) return nullptr;
  struct Visitor {
    int depth;
    plist_t operator()(const std::string& text) const {
      // A C string cannot carry an embedded NUL; refusing beats truncating.
      if (text.find('\0') != std::string::npos) return nullptr;
      return plist_new_string(text.c_str());
    }
    plist_t operator()(std::int64_t number) const {
      return plist_new_uint(static_cast<uint64_t>(number));
    }
    plist_t operator()(double number) const { return plist_new_real(number); }
    plist_t operator()(bool flag) const { return plist_new_bool(flag ? 1 : 0); }
    plist_t operator()(const PropertyData& data) const {
      return plist_new_data(reinterpret_cast<const char*>(data.bytes.data()), data.bytes.size());
    }
    plist_t operator()(const PropertyDate& date) const { return dateNode(date); }
    plist_t operator()(const PropertyArray& array) const { return arrayNode(array, depth + 1); }
    plist_t operator()(const PropertyDictionary& dictionary) const {
      return dictionaryNode(dictionary, depth + 1);
    }
  };
  return std::visit(Visitor{depth}, value.storage());
}

/// XML 1.0 has no form for C0 controls other than tab and line feed (a
/// carriage return is read back as a line feed): text holding one cannot be
/// written faithfully there.
bool xmlCanHoldText(const std::string& text) {
  return std::none_of(text.begin(), text.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n';
  });
}

bool xmlCanHold(const PropertyValue& value) {
  if (const std::string* text = value.string()) return xmlCanHoldText(*text);
  if (const PropertyArray* array = value.array()) {
    return std::all_of(array->begin(), array->end(),
                       [](const PropertyValue& element) { return xmlCanHold(element); });
  }
  if (const PropertyDictionary* dictionary = value.dictionary()) {
    return std::all_of(dictionary->begin(), dictionary->end(), [](const PropertyEntry& entry) {
      return xmlCanHoldText(entry.key) && xmlCanHold(entry.value);
    });
  }
  return true;
}

/// Replaces `path` by a new file holding `bytes` (temporary file, sync,
/// rename), keeping the mode of the file it replaces; a new file is private.
bool replaceFileAtomically(const std::string& path, const char* bytes, std::size_t length) {
  struct stat existing {};
  int mode = 0600;
  if (::stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode))
    mode = existing.st_mode & 07777;
  GError* error = nullptr;
  const bool replaced =
      g_file_set_contents_full(path.c_str(), bytes, static_cast<gssize>(length),
                               static_cast<GFileSetContentsFlags>(G_FILE_SET_CONTENTS_CONSISTENT |
                                                                  G_FILE_SET_CONTENTS_DURABLE),
                               mode, &error);
  g_clear_error(&error);
  if (!replaced) return false;
  // The rename itself becomes durable only with its folder; a folder that
  // cannot be synced does not undo a write that has already replaced the file.
  std::string folder = path.substr(0, path.find_last_of('/') + 1);
  helpers::UniqueFd folderFd(
      ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folderFd) ::fsync(folderFd.get());
  return true;
}

}  // namespace

std::optional<PropertyValue> propertyListOfBytes(const std::string& contents, bool* binary) {
  // libplist takes a 32-bit length.
  if (contents.empty() || contents.size() > std::numeric_limits<std::uint32_t>::max() ||
      holdsEmbeddedNul(contents)) {
    return std::nullopt;
  }
  const auto length = static_cast<uint32_t>(contents.size());
  plist_t root = nullptr;
  plist_from_memory(contents.data(), length, &root);
  if (!root) return std::nullopt;
  PlistPointer owner(root);
  if (binary) *binary = plist_is_binary(contents.data(), length) != 0;
  return valueOfNode(root, 0);
}

std::optional<PropertyValue> readPropertyList(const std::string& path, bool* binary) {
  std::optional<std::string> contents = fileContents(path);
  if (!contents) return std::nullopt;
  return propertyListOfBytes(*contents, binary);
}

std::optional<PropertyValue> readUserPropertyList(int file, std::size_t limit, bool* binary) {
  struct stat status {};
  if (::fstat(file, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != ::getuid()) {
    return std::nullopt;
  }
  const posix::FileBytes contents = posix::readOpenFile(file, limit);
  return contents.error == 0 ? propertyListOfBytes(contents.bytes, binary) : std::nullopt;
}

std::optional<PropertyDictionary> readBundleInfo(const std::string& bundle) {
  posix::FileBytes bytes = posix::readBundleInfoFile(bundle);
  std::optional<PropertyValue> info =
      bytes.error == 0 ? propertyListOfBytes(bytes.bytes) : std::nullopt;
  if (!info || !info->dictionary()) return std::nullopt;
  return *info->dictionary();
}

bool writePropertyList(const std::string& path, const PropertyValue& value, bool binary) {
  if (!binary && !xmlCanHold(value)) return false;
  plist_t root = nodeOfValue(value, 0);
  if (!root) return false;
  PlistPointer owner(root);
  char* bytes = nullptr;
  uint32_t length = 0;
  if (binary) {
    plist_to_bin(root, &bytes, &length);
  } else {
    plist_to_xml(root, &bytes, &length);
  }
  if (!bytes) return false;
  bool replaced = replaceFileAtomically(path, bytes, length);
  if (binary) {
    plist_to_bin_free(bytes);
  } else {
    plist_to_xml_free(bytes);
  }
  return replaced;
}

}  // namespace installer::host
