#pragma once

#include <optional>
#include <string>

#include "platform/file_url.h"
#include "platform/property_value.h"

namespace installer {

/// What the bundle service reads of one bundle directory.
struct BundleContents {
  std::optional<std::string> bundleIdentifier;
  /// Absent when the Info dictionary names no executable.
  std::optional<FileURL> executableURL;
  PropertyDictionary info;
  /// The system refused to let the Info.plist be read (EPERM or EACCES: on
  /// macOS, the privacy protection of the folder it lies in); `info` is empty.
  bool infoRefused = false;

  /// `objectForInfoDictionaryKey:`: the stored value of any type, or nothing.
  const PropertyValue* infoValue(const std::string& key) const { return findProperty(info, key); }
};

/// What a bundle directory holds when its Info dictionary is `info`: the
/// identifier and `Contents/MacOS/` + the executable's name, as its keys give
/// them (values of another kind, or an empty name, count as absent).
BundleContents bundleContentsOf(const FileURL& bundle, PropertyDictionary info);

class Bundles {
 public:
  virtual ~Bundles() = default;
  /// What the bundle directory holds now, its Info.plist read afresh at each
  /// call (never answered from a cache kept for the path); nothing when
  /// `bundle` is not a directory.
  virtual std::optional<BundleContents> open(const FileURL& bundle) = 0;
  /// The program's own bundle.
  virtual FileURL mainBundleURL() = 0;
  /// The program's own resource folder, when it has one.
  virtual std::optional<FileURL> mainResourceURL() = 0;
};

}  // namespace installer
