#pragma once

// Conversions between the platform layer's values and Foundation objects,
// shared by the Objective-C++ files of the backend.

#import <Foundation/Foundation.h>

#include <functional>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

#include "platform/file_url.h"
#include "platform/platform_error.h"

namespace installer::macos {

/// The NSString of UTF-8 `text`, embedded NULs kept; nil when `text` is not UTF-8.
NSString* stringOfUTF8(const std::string& text);
/// The NSString of `text` for showing to a person: every invalid UTF-8
/// sequence becomes U+FFFD, so that a message is never lost.
NSString* displayStringOfUTF8(const std::string& text);
/// The UTF-8 bytes of `text`; empty for nil.
std::string utf8OfString(NSString* text);

/// The file URL of `location`; nil when its path is not UTF-8 (no macOS
/// file system names such an item).
NSURL* fileURLOfLocation(const FileURL& location);
/// `fileURLOfLocation`, or PlatformError "`operation` `path`: ..." when there is none.
NSURL* requiredFileURL(const FileURL& location, const std::string& operation);
/// The location of a file URL; nothing for nil or any other kind of URL.
std::optional<FileURL> locationOfFileURL(NSURL* url);

/// The error the platform reported, described by its localized description;
/// `fallback` when the call failed without saying why.
PlatformError platformErrorOf(NSError* error, const std::string& fallback);

/// Runs `body` inside an autorelease pool that is drained however `body` ends,
/// and throws only after the pool is gone: a C++ exception unwinding through
/// `@autoreleasepool` would leave the pool undrained. An Objective-C
/// exception becomes a PlatformError carrying its reason, so that no failure
/// reaches the entry without a description.
void runInAutoreleasePool(const std::function<void()>& body);

/// `runInAutoreleasePool`, answering what `body` answers.
template <typename Body>
auto withinAutoreleasePool(Body&& body) -> decltype(body()) {
  using Result = decltype(body());
  if constexpr (std::is_void_v<Result>) {
    runInAutoreleasePool(body);
  } else {
    std::optional<Result> result;
    runInAutoreleasePool([&] { result.emplace(body()); });
    return std::move(*result);
  }
}

}  // namespace installer::macos
