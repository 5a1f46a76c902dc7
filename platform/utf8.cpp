#include "platform/utf8.h"

#include <cstddef>

namespace installer {

bool isWellFormedUTF8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    unsigned int lowestSecond = 0x80, highestSecond = 0xBF;
    if (lead < 0x80) length = 1;
    else if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) lowestSecond = 0xA0;
      if (lead == 0xED) highestSecond = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) lowestSecond = 0x90;
      if (lead == 0xF4) highestSecond = 0x8F;
    } else {
      return false;
    }
    if (i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      const unsigned int low = k == 1 ? lowestSecond : 0x80;
      const unsigned int high = k == 1 ? highestSecond : 0xBF;
      if (next < low || next > high) return false;
    }
    i += length;
  }
  return true;
}

}  // namespace installer
