#import <Foundation/Foundation.h>

#include "platform/macos/macos.h"
#include "platform/macos/macos_foundation.h"

namespace installer::macos {

std::string MacUUIDs::newUUIDString() {
  return withinAutoreleasePool([&] {
    return utf8OfString([[NSUUID UUID] UUIDString]);
  });
}

}  // namespace installer::macos
