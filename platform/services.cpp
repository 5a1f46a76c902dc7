#include "platform/services.h"

#include <algorithm>

namespace installer {
namespace {
Services installed;

bool isASCII(const std::string& text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}
}  // namespace

Services installServices(const Services& services) {
  Services previous = installed;
  installed = services;
  return previous;
}

const Services& services() { return installed; }

bool RunningApplication::sendSignal(int signal) {
  return installed.posix->kill(processIdentifier(), signal) == 0;
}

bool sameText(const std::string& a, const std::string& b) {
  if (a == b) return true;
  // ASCII has no canonical equivalents, so the composition service is only
  // needed when either side holds something else.
  if (isASCII(a) && isASCII(b)) return false;
  Text& text = *installed.text;
  return text.precomposed(a) == text.precomposed(b);
}

}  // namespace installer
