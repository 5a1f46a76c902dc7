#include "platform/macos/macos_foundation.h"

#include <exception>

#include "platform/utf8.h"

namespace installer::macos {

NSString* stringOfUTF8(const std::string& text) {
  return [[NSString alloc] initWithBytes:text.data()
                                  length:text.size()
                                encoding:NSUTF8StringEncoding];
}

NSString* displayStringOfUTF8(const std::string& text) { return stringOfUTF8(repairedUTF8(text)); }

std::string utf8OfString(NSString* text) {
  if (!text) return {};
  // Lossy only for unpaired surrogates, which UTF-8 cannot carry.
  NSData* bytes = [text dataUsingEncoding:NSUTF8StringEncoding allowLossyConversion:YES];
  if (!bytes || bytes.length == 0) return {};
  return std::string(static_cast<const char*>(bytes.bytes), bytes.length);
}

NSURL* fileURLOfLocation(const FileURL& location) {
  NSString* path = stringOfUTF8(location.path());
  if (!path) return nil;
  return [NSURL fileURLWithPath:path];
}

NSURL* requiredFileURL(const FileURL& location, const std::string& operation) {
  NSURL* url = fileURLOfLocation(location);
  if (!url) {
    throw PlatformError(operation + " " + location.path() + ": the path is not valid UTF-8");
  }
  return url;
}

std::optional<FileURL> locationOfFileURL(NSURL* url) {
  if (!url || !url.isFileURL) return std::nullopt;
  std::string path = utf8OfString(url.path);
  if (path.empty() || path.front() != '/') return std::nullopt;
  return FileURL::fromAbsolutePath(path);
}

PlatformError platformErrorOf(NSError* error, const std::string& fallback) {
  if (!error) return PlatformError(fallback);
  return PlatformError(utf8OfString(error.localizedDescription));
}

namespace {

/// `body`'s Objective-C exception as a PlatformError; C++ exceptions pass.
void runTranslatingExceptions(const std::function<void()>& body) {
  std::optional<std::string> reason;
  @try {
    body();
  } @catch (id thrown) {
    NSString* text = [thrown description];
    if ([thrown isKindOfClass:[NSException class]]) {
      NSException* exception = thrown;
      text = exception.reason ?: exception.name;
    }
    reason = utf8OfString(text);
  }
  if (reason) throw PlatformError(*reason);
}

}  // namespace

void runInAutoreleasePool(const std::function<void()>& body) {
  std::exception_ptr failure;
  @autoreleasepool {
    try {
      runTranslatingExceptions(body);
    } catch (...) {
      failure = std::current_exception();
    }
  }
  if (failure) std::rethrow_exception(failure);
}

}  // namespace installer::macos
