#include "platform/macos/macos_property_list.h"

#import <CoreFoundation/CoreFoundation.h>

#include <cstdint>
#include <limits>

#include "platform/macos/macos_foundation.h"

namespace installer::macos {
namespace {

// Deeper nesting than any real preference holds; the bound keeps the
// recursion from exhausting the stack.
constexpr int maximumDepth = 512;

id objectOf(const PropertyValue& value, int depth);
std::optional<PropertyValue> valueOf(id object, int depth);

NSArray* arrayObjectOf(const PropertyArray& array, int depth) {
  NSMutableArray* elements = [NSMutableArray arrayWithCapacity:array.size()];
  for (const PropertyValue& element : array) {
    id object = objectOf(element, depth);
    if (!object) return nil;
    [elements addObject:object];
  }
  return elements;
}

NSDictionary* dictionaryObjectOf(const PropertyDictionary& dictionary, int depth) {
  NSMutableDictionary* entries = [NSMutableDictionary dictionaryWithCapacity:dictionary.size()];
  for (const PropertyEntry& entry : dictionary) {
    NSString* key = stringOfUTF8(entry.key);
    id object = objectOf(entry.value, depth);
    if (!key || !object) return nil;
    [entries setObject:object forKey:key];
  }
  return entries;
}

id objectOf(const PropertyValue& value, int depth) {
  if (depth > maximumDepth) return nil;
  struct Visitor {
    int depth;
    id operator()(const std::string& text) const { return stringOfUTF8(text); }
    id operator()(std::int64_t number) const { return [NSNumber numberWithLongLong:number]; }
    id operator()(double number) const { return [NSNumber numberWithDouble:number]; }
    id operator()(bool flag) const {
      // CFBoolean, so that the list holds <true/> or <false/>, not a number.
      return (__bridge id)(flag ? kCFBooleanTrue : kCFBooleanFalse);
    }
    id operator()(const PropertyData& data) const {
      return [NSData dataWithBytes:data.bytes.data() length:data.bytes.size()];
    }
    id operator()(const PropertyDate& date) const {
      return [NSDate dateWithTimeIntervalSinceReferenceDate:date.secondsSinceReference];
    }
    id operator()(const PropertyArray& array) const { return arrayObjectOf(array, depth + 1); }
    id operator()(const PropertyDictionary& dictionary) const {
      return dictionaryObjectOf(dictionary, depth + 1);
    }
  };
  return std::visit(Visitor{depth}, value.storage());
}

PropertyValue numberValueOf(NSNumber* number) {
  CFTypeRef reference = (__bridge CFTypeRef)number;
  if (CFGetTypeID(reference) == CFBooleanGetTypeID()) return PropertyValue(number.boolValue != NO);
  if (CFNumberIsFloatType((__bridge CFNumberRef)number)) return PropertyValue(number.doubleValue);
  // A property list may hold integers up to 2^64 - 1; those above the signed
  // range keep their bits, as the other backend keeps them.
  if ([number compare:[NSNumber numberWithLongLong:std::numeric_limits<std::int64_t>::max()]] ==
      NSOrderedDescending) {
    return PropertyValue(static_cast<std::int64_t>(number.unsignedLongLongValue));
  }
  return PropertyValue(static_cast<std::int64_t>(number.longLongValue));
}

std::optional<PropertyValue> arrayValueOf(NSArray* array, int depth) {
  PropertyArray elements;
  elements.reserve(array.count);
  for (id object in array) {
    std::optional<PropertyValue> element = valueOf(object, depth);
    if (!element) return std::nullopt;
    elements.push_back(std::move(*element));
  }
  return PropertyValue(std::move(elements));
}

std::optional<PropertyValue> dictionaryValueOf(NSDictionary* dictionary, int depth) {
  // A CFDictionary has no order of its own: the entries come in the order
  // the platform enumerates them.
  PropertyDictionary entries;
  entries.reserve(dictionary.count);
  for (id key in dictionary) {
    if (![key isKindOfClass:[NSString class]]) return std::nullopt;
    std::optional<PropertyValue> value = valueOf([dictionary objectForKey:key], depth);
    if (!value) return std::nullopt;
    entries.push_back(PropertyEntry{utf8OfString(key), std::move(*value)});
  }
  return PropertyValue(std::move(entries));
}

std::optional<PropertyValue> valueOf(id object, int depth) {
  if (!object || depth > maximumDepth) return std::nullopt;
  if ([object isKindOfClass:[NSString class]]) return PropertyValue(utf8OfString(object));
  if ([object isKindOfClass:[NSNumber class]]) return numberValueOf(object);
  if ([object isKindOfClass:[NSData class]]) {
    NSData* data = object;
    const auto* bytes = static_cast<const std::uint8_t*>(data.bytes);
    PropertyData value;
    if (bytes) value.bytes.assign(bytes, bytes + data.length);
    return PropertyValue(std::move(value));
  }
  if ([object isKindOfClass:[NSDate class]]) {
    NSDate* date = object;
    return PropertyValue(PropertyDate{date.timeIntervalSinceReferenceDate});
  }
  if ([object isKindOfClass:[NSArray class]]) return arrayValueOf(object, depth + 1);
  if ([object isKindOfClass:[NSDictionary class]]) return dictionaryValueOf(object, depth + 1);
  return std::nullopt;
}

}  // namespace

id propertyListObjectOf(const PropertyValue& value) { return objectOf(value, 0); }

std::optional<PropertyValue> propertyValueOf(id object) { return valueOf(object, 0); }

}  // namespace installer::macos
