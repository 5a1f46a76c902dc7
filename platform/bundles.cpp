#include "platform/bundles.h"

namespace installer {

BundleContents bundleContentsOf(const FileURL& bundle, PropertyDictionary info) {
  BundleContents contents;
  contents.info = std::move(info);
  if (const PropertyValue* identifier = contents.infoValue("CFBundleIdentifier")) {
    if (const std::string* text = identifier->string()) contents.bundleIdentifier = *text;
  }
  if (const PropertyValue* executable = contents.infoValue("CFBundleExecutable")) {
    const std::string* name = executable->string();
    // A name that could climb out of Contents/MacOS names no executable.
    if (name && isSingleName(*name)) {
      contents.executableURL = bundle.appendingPathComponent("Contents/MacOS/" + *name);
    }
  }
  return contents;
}

}  // namespace installer
