#include "inspect/version.h"

#include <gtest/gtest.h>

namespace installer {
namespace {

TEST(VersionNumbers, AcceptsOneToFourGroupsOfDigits) {
  const struct {
    const char* text;
    VersionNumbers expected;
  } cases[] = {
      {"1", {1, 0, 0, 0}},
      {"1.2.3.4", {1, 2, 3, 4}},
      {"01.002", {1, 2, 0, 0}},
      {"007", {7, 0, 0, 0}},
      {"999999999", {999999999, 0, 0, 0}},
      {"999999999.999999999.999999999.999999999",
       {999999999, 999999999, 999999999, 999999999}},
      {"0.0.0.0", {0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(versionNumbers(c.text), std::optional<VersionNumbers>(c.expected)) << c.text;
  }
}

TEST(VersionNumbers, RefusesEveryOtherShape) {
  const char* cases[] = {
      "",      "1..2",   ".1",      "1.",      "1.2.3.4.5", "1234567890", "+1",
      "-1",    " 1.2",   "1.2 ",    "1.2b",    "1.2-beta",  "v1.2",       "1.2 beta",
      "１.２",  "1,2",    "1.2.3.4.", "..",      ".",         "1.0x",       "1.\t2",
      "٣",     "1.2.3.-4",
  };
  for (const char* text : cases) EXPECT_EQ(versionNumbers(text), std::nullopt) << text;
  EXPECT_EQ(versionNumbers(std::string("1\0002", 3)), std::nullopt);
}

TEST(VersionOrder, ComparesNumbersGroupByGroup) {
  auto v = [](const char* text) { return *versionNumbers(text); };
  EXPECT_TRUE(lexicographicallyPrecedes(v("1.9"), v("1.10")));
  EXPECT_FALSE(lexicographicallyPrecedes(v("1.10"), v("1.9")));
  EXPECT_FALSE(lexicographicallyPrecedes(v("2.0"), v("1.99")));
  EXPECT_TRUE(lexicographicallyPrecedes(v("1.99"), v("2.0")));
  EXPECT_TRUE(lexicographicallyPrecedes(v("1.2.3.4"), v("1.2.3.5")));
  // Missing groups are zero, so these are one version and neither is older.
  for (auto [a, b] : {std::pair{"1.2", "1.2.0"}, {"3.1", "3.1.0.0"}, {"01", "1"}}) {
    EXPECT_EQ(v(a), v(b));
    EXPECT_FALSE(lexicographicallyPrecedes(v(a), v(b))) << a << " " << b;
    EXPECT_FALSE(lexicographicallyPrecedes(v(b), v(a))) << a << " " << b;
  }
}

}  // namespace
}  // namespace installer
