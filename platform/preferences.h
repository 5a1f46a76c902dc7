#pragma once

#include <optional>
#include <string>

#include "platform/property_value.h"

namespace installer {

/// An application's preferences for the current user, any host.
class Preferences {
 public:
  virtual ~Preferences() = default;
  virtual std::optional<PropertyValue> copyValue(const std::string& key,
                                                 const std::string& application) = 0;
  /// Changes the value in memory until `synchronize`.
  virtual void setValue(const std::string& key, const PropertyValue& value,
                        const std::string& application) = 0;
  /// Writes pending changes; false when that fails.
  virtual bool synchronize(const std::string& application) = 0;
};

}  // namespace installer
