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

  /// `objectForInfoDictionaryKey:`: the stored value of any type, or nothing.
  const PropertyValue* infoValue(const std::string& key) const { return findProperty(info, key); }
};

class Bundles {
 public:
  virtual ~Bundles() = default;
  /// `initWithURL:`: nothing when `bundle` cannot be opened as a bundle.
  virtual std::optional<BundleContents> open(const FileURL& bundle) = 0;
  /// The program's own bundle.
  virtual FileURL mainBundleURL() = 0;
  /// The program's own resource folder, when it has one.
  virtual std::optional<FileURL> mainResourceURL() = 0;
};

}  // namespace installer
