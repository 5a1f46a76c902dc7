#include "entry/options.h"

#include <algorithm>

#include "entry/constants.h"
#include "entry/installer_error.h"
#include "inspect/location.h"

namespace installer {
namespace {

const std::string incompleteArguments = "安装参数不完整。";

FileURL defaultSource() {
  Bundles& bundles = *services().bundles;
  if (std::optional<FileURL> resources = bundles.mainResourceURL()) {
    return resources->appendingPathComponent(browserBundle);
  }
  return bundles.mainBundleURL().deletingLastPathComponent().appendingPathComponent(browserBundle);
}

FileURL defaultDestination() {
  FileURL home = FileURL::fromAbsolutePath(files().homeDirectory());
  return home.appendingPathComponent("Applications/" + browserBundle);
}

/// A command-line value as the location it names.
FileURL locationFromArgument(const std::string& value) {
  std::string expanded = expandingTildeInPath(
      value, files().homeDirectory(),
      [](const std::string& user) { return files().homeDirectoryOfUser(user); });
  return locationFromPath(expanded).standardized();
}

bool isProcessSerialNumber(const std::string& argument) { return argument.starts_with("-psn_"); }

}  // namespace

Options Options::fromArguments(const std::vector<std::string>& argumentVector) {
  Options options{defaultSource(), defaultDestination(), std::nullopt};

  std::vector<std::string> arguments;
  if (!argumentVector.empty()) {
    std::copy_if(argumentVector.begin() + 1, argumentVector.end(), std::back_inserter(arguments),
                 [](const std::string& argument) { return !isProcessSerialNumber(argument); });
  }

  if (arguments.size() == 1) throw InstallerError(incompleteArguments);
  // Pairs are applied as they are read, so the first faulty pair decides
  // the message and nothing after it is looked at.
  for (std::size_t index = 0; index < arguments.size(); index += 2) {
    if (index + 1 >= arguments.size()) throw InstallerError(incompleteArguments);
    const std::string& key = arguments[index];
    const std::string& value = arguments[index + 1];
    if (value.empty()) throw InstallerError(incompleteArguments);
    FileURL location = locationFromArgument(value);
    if (key == "--source") {
      options.source = location;
    } else if (key == "--destination") {
      options.destination = location;
    } else if (key == "--current-app") {
      options.current = location;
    } else {
      throw InstallerError("不支持的安装参数 " + key + "。");
    }
  }

  if (!sameText(options.destination.lastPathComponent(), browserBundle)) {
    throw InstallerError("目标应用名必须为 " + browserBundle + "。");
  }

  options.source = normalized(options.source);
  options.destination = normalized(options.destination);
  if (options.current) options.current = normalized(*options.current);
  return options;
}

}  // namespace installer
