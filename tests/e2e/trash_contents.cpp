#include "trash_contents.h"

#include <sys/stat.h>

#include <optional>

#include "common.h"

namespace e2e {

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

/// The value of `key=` in the [Trash Info] group, if present.
std::optional<std::string> infoValue(const std::string& content, std::string_view key) {
  std::string wanted = std::string(key) + "=";
  std::string::size_type start = 0;
  while (start < content.size()) {
    std::string::size_type end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    std::string_view line(content.data() + start, end - start);
    if (line.starts_with(wanted)) return std::string(line.substr(wanted.size()));
    start = end + 1;
  }
  return std::nullopt;
}

}  // namespace

std::string percentDecoded(std::string_view text) {
  std::string decoded;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text[at] != '%') {
      decoded += text[at];
      continue;
    }
    int high = at + 2 < text.size() ? hexValue(text[at + 1]) : -1;
    int low = at + 2 < text.size() ? hexValue(text[at + 2]) : -1;
    if (high < 0 || low < 0) throw HarnessError("broken percent escape in " + std::string(text));
    decoded += static_cast<char>(high * 16 + low);
    at += 2;
  }
  return decoded;
}

std::map<fs::path, TrashedItem> trashedItems(const fs::path& trashFolder) {
  std::map<fs::path, TrashedItem> items;
  const fs::path infoFolder = trashFolder / "info";
  std::error_code error;
  if (!fs::is_directory(infoFolder, error)) return items;
  for (const auto& entry : fs::directory_iterator(infoFolder)) {
    const std::string name = entry.path().filename().string();
    const std::string suffix = ".trashinfo";
    if (!name.ends_with(suffix)) continue;
    const std::string content = readFile(entry.path());
    std::optional<std::string> path = infoValue(content, "Path");
    if (!content.starts_with("[Trash Info]\n") || !path)
      throw HarnessError(entry.path().string() + " is no trash info: " + visible(content));
    TrashedItem item;
    item.infoFile = entry.path();
    item.file = trashFolder / "files" / name.substr(0, name.size() - suffix.size());
    item.deletionDate = infoValue(content, "DeletionDate").value_or("");
    struct stat status;
    if (::lstat(item.file.c_str(), &status) != 0)
      throw HarnessError(entry.path().string() + " names " + item.file.string() +
                         ", which is not in the trash");
    fs::path original = percentDecoded(*path);
    if (!items.emplace(original, item).second)
      throw HarnessError("two items in " + trashFolder.string() + " came from " + original.string());
  }
  return items;
}

}  // namespace e2e
