// Conversions between the platform layer's values and Foundation objects.

#import <Foundation/Foundation.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <stdexcept>

#include "platform/macos/macos_foundation.h"
#include "platform/macos/macos_property_list.h"

namespace installer::macos {
namespace {

TEST(MacFoundation, DisplayTextReplacesEachInvalidSequence) {
  const std::string replacement = "\xEF\xBF\xBD";
  struct Case {
    std::string text;
    std::string shown;
  };
  const Case cases[] = {
      {"plain", "plain"},
      {"Quorvane\xE6\xB5\x8F\xE8\xA7\x88\xE5\x99\xA8", "Quorvane\xE6\xB5\x8F\xE8\xA7\x88\xE5\x99\xA8"},
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},              // U+1F600
      {"a\xFF" "b", "a" + replacement + "b"},                 // never a lead byte
      {"a\xC3", "a" + replacement},                           // cut short
      {"\xC0\xAF", replacement + replacement},                // overlong "/"
      {"\xED\xA0\x80", replacement + replacement + replacement},  // a surrogate
      {"\xF4\x90\x80\x80", replacement + replacement + replacement + replacement},  // > U+10FFFF
      {"\x80", replacement},                                  // lone continuation
  };
  for (const Case& c : cases) {
    EXPECT_EQ(utf8OfString(displayStringOfUTF8(c.text)), c.shown) << c.text;
  }
}

TEST(MacFoundation, TextKeepsEveryByteAndRefusesInvalidUTF8) {
  const std::string withNul("a\0b", 3);
  EXPECT_EQ(utf8OfString(stringOfUTF8(withNul)), withNul);
  EXPECT_EQ(stringOfUTF8("\xFF"), nil);
  EXPECT_EQ(utf8OfString(nil), "");
}

TEST(MacFoundation, OnlyFileURLsBecomeLocations) {
  EXPECT_EQ(locationOfFileURL(nil), std::nullopt);
  EXPECT_EQ(locationOfFileURL([NSURL URLWithString:@"https://example.com/a"]), std::nullopt);
  std::optional<FileURL> location =
      locationOfFileURL([NSURL fileURLWithPath:@"/Applications/Q.app/" isDirectory:YES]);
  ASSERT_TRUE(location);
  EXPECT_EQ(location->path(), "/Applications/Q.app");
  EXPECT_EQ(locationOfFileURL(fileURLOfLocation(*location)), location);
  EXPECT_EQ(fileURLOfLocation(FileURL::fromAbsolutePath("/a\xFF")), nil);
  EXPECT_THROW(requiredFileURL(FileURL::fromAbsolutePath("/a\xFF"), "Could not remove"),
               PlatformError);
}

TEST(MacFoundation, PlatformErrorsCarryTheLocalizedDescription) {
  NSError* error = [NSError errorWithDomain:NSPOSIXErrorDomain code:2 userInfo:nil];
  EXPECT_EQ(std::string(platformErrorOf(error, "fallback").what()),
            utf8OfString(error.localizedDescription));
  EXPECT_STREQ(platformErrorOf(nil, "fallback").what(), "fallback");
}

TEST(MacFoundation, PoolsHandOnFailuresOnceDrained) {
  EXPECT_EQ(withinAutoreleasePool([] { return 7; }), 7);
  EXPECT_THROW(withinAutoreleasePool([] { throw std::out_of_range("C++"); }), std::out_of_range);
  try {
    withinAutoreleasePool([] { [NSException raise:NSInvalidArgumentException format:@"bad %d", 1]; });
    ADD_FAILURE() << "the exception was lost";
  } catch (const PlatformError& error) {
    EXPECT_STREQ(error.what(), "bad 1");
  }
}

/// The value after a trip through the binary property-list form, the form
/// CFPreferences stores.
std::optional<PropertyValue> storedAndReadBack(const PropertyValue& value) {
  id object = propertyListObjectOf(value);
  if (!object) return std::nullopt;
  NSError* error = nil;
  NSData* data = [NSPropertyListSerialization dataWithPropertyList:object
                                                            format:NSPropertyListBinaryFormat_v1_0
                                                           options:0
                                                             error:&error];
  if (!data) return std::nullopt;
  id read = [NSPropertyListSerialization propertyListWithData:data
                                                      options:NSPropertyListImmutable
                                                       format:nullptr
                                                        error:&error];
  return propertyValueOf(read);
}

TEST(MacPropertyList, EveryTypeSurvivesStorage) {
  const PropertyValue values[] = {
      PropertyValue("text \xE6\xB5\x8F"),
      PropertyValue(""),
      PropertyValue(std::int64_t{0}),
      PropertyValue(std::int64_t{1}),  // a number, not a flag
      PropertyValue(std::numeric_limits<std::int64_t>::min()),
      PropertyValue(std::numeric_limits<std::int64_t>::max()),
      PropertyValue(1.5),
      PropertyValue(1.0),  // a real, not an integer
      PropertyValue(true),
      PropertyValue(false),
      PropertyValue(PropertyData{{0, 1, 0, 255}}),
      PropertyValue(PropertyData{}),
      PropertyValue(PropertyDate{-1.5}),
      PropertyValue(PropertyDate{700000000.25}),
      PropertyValue(PropertyArray{PropertyValue("a"), PropertyValue(std::int64_t{2}),
                                  PropertyValue(PropertyArray{})}),
      PropertyValue(PropertyDictionary{
          {"tile-data", PropertyValue(PropertyDictionary{
                            {"file-data", PropertyValue(PropertyDictionary{
                                              {"_CFURLString", PropertyValue("file:///A/")}})}})}}),
  };
  for (const PropertyValue& value : values) {
    EXPECT_EQ(storedAndReadBack(value), value);
  }
}

TEST(MacPropertyList, DictionariesKeepEveryEntry) {
  PropertyDictionary entries = {{"b", PropertyValue(std::int64_t{2})},
                                {"a", PropertyValue("one")},
                                {"c", PropertyValue(false)}};
  std::optional<PropertyValue> read = storedAndReadBack(PropertyValue(entries));
  ASSERT_TRUE(read && read->dictionary());
  EXPECT_EQ(read->dictionary()->size(), entries.size());
  for (const PropertyEntry& entry : entries) {
    const PropertyValue* found = findProperty(*read->dictionary(), entry.key);
    ASSERT_NE(found, nullptr) << entry.key;
    EXPECT_EQ(*found, entry.value) << entry.key;
  }
}

TEST(MacPropertyList, RefusesWhatHasNoPropertyListForm) {
  EXPECT_EQ(propertyListObjectOf(PropertyValue(PropertyArray{PropertyValue("ok"),
                                                             PropertyValue("\xFF")})),
            nil);
  EXPECT_EQ(propertyListObjectOf(PropertyValue(PropertyDictionary{{"\xFF", PropertyValue("")}})),
            nil);
  EXPECT_EQ(propertyValueOf(nil), std::nullopt);
  EXPECT_EQ(propertyValueOf([NSURL fileURLWithPath:@"/"]), std::nullopt);
  EXPECT_EQ(propertyValueOf(@[ @"a", [NSURL fileURLWithPath:@"/"] ]), std::nullopt);
}

TEST(MacPropertyList, IntegersAboveTheSignedRangeKeepTheirBits) {
  NSNumber* largest = [NSNumber numberWithUnsignedLongLong:std::numeric_limits<std::uint64_t>::max()];
  EXPECT_EQ(propertyValueOf(largest), PropertyValue(std::int64_t{-1}));
}

}  // namespace
}  // namespace installer::macos
