#pragma once

// PropertyValue and the Foundation objects of a property list (toll-free
// bridged with CFPropertyList): NSString, NSNumber (CFBoolean for flags),
// NSData, NSDate, NSArray, NSDictionary.

#import <Foundation/Foundation.h>

#include <optional>

#include "platform/property_value.h"

namespace installer::macos {

/// The property-list object for `value`, dictionaries filled in the order
/// given (a later duplicate key wins); nil when some text in it is not UTF-8.
id propertyListObjectOf(const PropertyValue& value);
/// The value of a property-list object; nothing when it, or anything inside
/// it, is of another kind.
std::optional<PropertyValue> propertyValueOf(id object);

}  // namespace installer::macos
