#import <Foundation/Foundation.h>

#include "platform/macos/macos.h"
#include "platform/macos/macos_foundation.h"

namespace installer::macos {

std::string MacUUIDs::newUUIDString() {
  @autoreleasepool {
    return utf8OfString([[NSUUID UUID] UUIDString]);
  }
}

}  // namespace installer::macos
