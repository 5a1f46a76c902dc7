#import <Foundation/Foundation.h>

#include "platform/macos/macos.h"
#include "platform/macos/macos_foundation.h"

namespace installer::macos {

std::string MacText::precomposed(const std::string& text) {
  return withinAutoreleasePool([&] {
    NSString* string = stringOfUTF8(text);
    if (!string) return text;
    return utf8OfString([string precomposedStringWithCanonicalMapping]);
  });
}

std::string MacText::lowercased(const std::string& text) {
  return withinAutoreleasePool([&] {
    NSString* string = stringOfUTF8(text);
    if (!string) return text;
    // The non-localized mapping, the same whatever the user's language.
    return utf8OfString([string lowercaseString]);
  });
}

}  // namespace installer::macos
