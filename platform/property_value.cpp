#include "platform/property_value.h"

namespace installer {

const PropertyValue* findProperty(const PropertyDictionary& dictionary, const std::string& key) {
  for (const PropertyEntry& entry : dictionary) {
    if (entry.key == key) return &entry.value;
  }
  return nullptr;
}

}  // namespace installer
