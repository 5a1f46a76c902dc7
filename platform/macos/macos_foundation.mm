#include "platform/macos/macos_foundation.h"

#include <exception>

namespace installer::macos {
namespace {

constexpr char replacementCharacter[] = "\xEF\xBF\xBD";  // U+FFFD

/// The length of the well-formed UTF-8 sequence that starts at `at`, or 0.
std::size_t validSequenceLength(const std::string& text, std::size_t at) {
  auto byte = [&text](std::size_t index) { return static_cast<unsigned char>(text[index]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  // The second byte's range also rules out overlong forms, surrogates and
  // values beyond U+10FFFF.
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() - at < length) return 0;
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (std::size_t index = at + 2; index < at + length; ++index) {
    if ((byte(index) & 0xC0) != 0x80) return 0;
  }
  return length;
}

}  // namespace

NSString* stringOfUTF8(const std::string& text) {
  return [[NSString alloc] initWithBytes:text.data()
                                  length:text.size()
                                encoding:NSUTF8StringEncoding];
}

NSString* displayStringOfUTF8(const std::string& text) {
  std::string repaired;
  repaired.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    std::size_t length = validSequenceLength(text, at);
    if (length == 0) {
      repaired += replacementCharacter;
      ++at;
    } else {
      repaired.append(text, at, length);
      at += length;
    }
  }
  return stringOfUTF8(repaired);
}

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
