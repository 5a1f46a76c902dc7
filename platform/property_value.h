#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace installer {

class PropertyValue;
struct PropertyEntry;

using PropertyArray = std::vector<PropertyValue>;
/// Keys in stored order, so that a rewritten list keeps every field of an
/// untouched element exactly as it was.
using PropertyDictionary = std::vector<PropertyEntry>;

struct PropertyData {
  std::vector<std::uint8_t> bytes;
  friend bool operator==(const PropertyData&, const PropertyData&) = default;
};
struct PropertyDate {
  double secondsSinceReference = 0;  // seconds since 2001-01-01 00:00:00 UTC
  friend bool operator==(const PropertyDate&, const PropertyDate&) = default;
};

/// One value of a property list, of any of its types.
class PropertyValue {
 public:
  using Storage = std::variant<std::string, std::int64_t, double, bool, PropertyData,
                               PropertyDate, PropertyArray, PropertyDictionary>;

  // Defined after PropertyEntry: some standard libraries need the element
  // type of a dictionary complete wherever one is built or moved.
  PropertyValue();
  PropertyValue(std::string text);
  PropertyValue(const char* text);
  PropertyValue(std::int64_t number);
  PropertyValue(double number);
  PropertyValue(bool flag);
  PropertyValue(PropertyData data);
  PropertyValue(PropertyDate date);
  PropertyValue(PropertyArray array);
  PropertyValue(PropertyDictionary dictionary);

  const Storage& storage() const { return storage_; }

  const std::string* string() const { return std::get_if<std::string>(&storage_); }
  const PropertyArray* array() const { return std::get_if<PropertyArray>(&storage_); }
  const PropertyDictionary* dictionary() const {
    return std::get_if<PropertyDictionary>(&storage_);
  }

  friend bool operator==(const PropertyValue&, const PropertyValue&);

 private:
  Storage storage_;
};

struct PropertyEntry {
  std::string key;
  PropertyValue value;
  friend bool operator==(const PropertyEntry&, const PropertyEntry&) = default;
};

inline PropertyValue::PropertyValue() : storage_(std::string()) {}
inline PropertyValue::PropertyValue(std::string text) : storage_(std::move(text)) {}
inline PropertyValue::PropertyValue(const char* text) : storage_(std::string(text)) {}
inline PropertyValue::PropertyValue(std::int64_t number) : storage_(number) {}
inline PropertyValue::PropertyValue(double number) : storage_(number) {}
inline PropertyValue::PropertyValue(bool flag) : storage_(flag) {}
inline PropertyValue::PropertyValue(PropertyData data) : storage_(std::move(data)) {}
inline PropertyValue::PropertyValue(PropertyDate date) : storage_(date) {}
inline PropertyValue::PropertyValue(PropertyArray array) : storage_(std::move(array)) {}
inline PropertyValue::PropertyValue(PropertyDictionary dictionary)
    : storage_(std::move(dictionary)) {}

inline bool operator==(const PropertyValue& a, const PropertyValue& b) {
  return a.storage_ == b.storage_;
}

/// The value stored under `key`, or nothing.
const PropertyValue* findProperty(const PropertyDictionary& dictionary, const std::string& key);

}  // namespace installer
