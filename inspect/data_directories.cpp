#include "inspect/data_directories.h"

#include <algorithm>
#include <map>
#include <string>

#include "entry/constants.h"
#include "entry/installer_error.h"
#include "inspect/location.h"
#include "platform/terminal_text.h"

namespace installer {
namespace {

using ComparisonKey = std::vector<std::string>;

ComparisonKey components(const FileURL& url) {
  Text& text = *services().text;
  ComparisonKey key = canonicalPath(url).pathComponents();
  // Lower-casing can leave a letter and a combining mark that compose (J and
  // U+030C against U+01F0), so the text is composed again afterwards.
  for (std::string& component : key)
    component = text.precomposed(text.lowercased(text.precomposed(component)));
  return key;
}

bool startsWith(const ComparisonKey& key, const ComparisonKey& prefix) {
  return prefix.size() <= key.size() && std::equal(prefix.begin(), prefix.end(), key.begin());
}

std::vector<FileURL> dataRoots() {
  std::vector<FileURL> roots = files().applicationSupportDirectories();
  std::map<std::string, std::string> environment = services().processInfo->environment();
  auto dataRoot = environment.find("QRVX_DATA_ROOT");
  if (dataRoot != environment.end() && !dataRoot->second.empty()) {
    roots.push_back(locationFromPath(dataRoot->second));
  }
  return roots;
}

}  // namespace

void checkDataDirectories(const std::vector<FileURL>& urls) {
  std::vector<ComparisonKey> rootKeys;
  for (const FileURL& root : dataRoots()) rootKeys.push_back(components(root));

  for (const FileURL& url : urls) {
    ComparisonKey key = components(url);
    for (const ComparisonKey& rootKey : rootKeys) {
      if (startsWith(key, rootKey) || startsWith(rootKey, key)) {
        throw InstallerError("应用路径与浏览器资料目录重叠。\n" + shownPath(url.path()));
      }
    }
  }
}

}  // namespace installer
