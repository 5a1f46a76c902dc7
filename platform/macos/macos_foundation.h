#pragma once

// Conversions between the platform layer's values and Foundation objects,
// shared by the Objective-C++ files of the backend.

#import <Foundation/Foundation.h>

#include <optional>
#include <string>

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

}  // namespace installer::macos
