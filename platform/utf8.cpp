#include "platform/utf8.h"

namespace installer {

std::size_t wellFormedSequenceLength(std::string_view text, std::size_t at) {
  auto byte = [text](std::size_t index) { return static_cast<unsigned char>(text[index]); };
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

bool isWellFormedUTF8(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = wellFormedSequenceLength(text, at);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

std::string repairedUTF8(std::string_view text) {
  std::string repaired;
  repaired.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = wellFormedSequenceLength(text, at);
    if (length == 0) {
      repaired += replacementCharacter;
      ++at;
    } else {
      repaired.append(text.substr(at, length));
      at += length;
    }
  }
  return repaired;
}

}  // namespace installer
