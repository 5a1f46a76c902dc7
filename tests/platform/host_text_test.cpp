#include <gtest/gtest.h>

#include "platform/host/host.h"
#include "platform/utf8.h"

namespace installer::host {
namespace {

struct TextCase {
  std::string input;
  std::string expected;
};

TEST(HostTextTest, PrecomposesCanonically) {
  const std::vector<TextCase> cases = {
      {"", ""},
      {"Quorvane.app", "Quorvane.app"},
      {"Cafe\xCC\x81", "Caf\xC3\xA9"},                  // e + combining acute
      {"A\xCC\x88O\xCC\x88U\xCC\x88", "\xC3\x84\xC3\x96\xC3\x9C"},  // decomposed ÄÖÜ
      {"\xE2\x84\xAB", "\xC3\x85"},                     // ANGSTROM SIGN is Å
      {"Quorvane浏览器", "Quorvane浏览器"},
      {std::string("a\0b", 3), std::string("a\0b", 3)},
  };
  HostText text;
  for (const TextCase& c : cases) EXPECT_EQ(text.precomposed(c.input), c.expected) << c.input;
}

TEST(HostTextTest, LowercasesWithTheDefaultMapping) {
  const std::vector<TextCase> cases = {
      {"Quorvane.APP", "quorvane.app"},
      {"\xC3\x84\xC3\x96\xC3\x9C", "\xC3\xA4\xC3\xB6\xC3\xBC"},  // ÄÖÜ
      {"\xC4\xB0", "i\xCC\x87"},  // İ: i + combining dot, not the Turkish i
      {"I", "i"},                 // and I stays i, not dotless
      {"\xCE\xA3\xCE\x91", "\xCF\x83\xCE\xB1"},  // ΣΑ
      {"浏览器", "浏览器"},
  };
  HostText text;
  for (const TextCase& c : cases) EXPECT_EQ(text.lowercased(c.input), c.expected) << c.input;
}

TEST(HostTextTest, ReturnsInvalidUTF8Unchanged) {
  const std::vector<std::string> inputs = {
      "Caf\xE9",            // Latin-1
      "A\xCC",              // truncated sequence
      "\xED\xA0\x80X",      // encoded surrogate
      "\xC0\xAF",           // overlong "/"
      "ABC\xFF",
  };
  HostText text;
  for (const std::string& input : inputs) {
    EXPECT_EQ(text.precomposed(input), input);
    EXPECT_EQ(text.lowercased(input), input);
  }
}

TEST(HostTextTest, TextForPeopleShowsEachByteThatStartsNoCharacterAsAReplacement) {
  const std::string r = replacementCharacter;
  const std::vector<TextCase> cases = {
      {"浏览器 \xF0\x9F\x98\x80", "浏览器 \xF0\x9F\x98\x80"},
      {"Caf\xE9", "Caf" + r},
      {"A\xCC", "A" + r},
      {"\xC0\xAF", r + r},
      {"\xED\xA0\x80X", r + r + r + "X"},
      {"\xF4\x90\x80\x80", r + r + r + r},  // past U+10FFFF
  };
  for (const TextCase& c : cases) EXPECT_EQ(repairedUTF8(c.input), c.expected) << c.input;
}

}  // namespace
}  // namespace installer::host
