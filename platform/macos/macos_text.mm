#import <Foundation/Foundation.h>

#include "platform/macos/macos.h"
#include "platform/macos/macos_foundation.h"

namespace installer {

std::string SystemText::precomposed(const std::string& text) {
  return macos::withinAutoreleasePool([&] {
    NSString* string = macos::stringOfUTF8(text);
    if (!string) return text;
    return macos::utf8OfString([string precomposedStringWithCanonicalMapping]);
  });
}

std::string SystemText::lowercased(const std::string& text) {
  return macos::withinAutoreleasePool([&] {
    NSString* string = macos::stringOfUTF8(text);
    if (!string) return text;
    // The non-localized mapping, the same whatever the user's language.
    return macos::utf8OfString([string lowercaseString]);
  });
}

}  // namespace installer
