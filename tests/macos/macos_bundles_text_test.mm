// Bundles, text, UUIDs and preferences.

#import <CoreFoundation/CoreFoundation.h>
#import <Foundation/Foundation.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>

#include "platform/macos/macos.h"
#include "tests/support/temporary_folder.h"

namespace installer::macos {
namespace {

using installer::testing::TemporaryFolder;

/// A bundle at `path` whose Info.plist holds `info`.
void makeBundle(const std::string& path, NSDictionary* info) {
  std::filesystem::create_directories(path + "/Contents/MacOS");
  std::ofstream(path + "/Contents/MacOS/Q") << "#!/bin/sh\n";
  ::chmod((path + "/Contents/MacOS/Q").c_str(), 0755);
  NSString* plist = [NSString stringWithUTF8String:(path + "/Contents/Info.plist").c_str()];
  ASSERT_TRUE([info writeToURL:[NSURL fileURLWithPath:plist] atomically:YES]);
}

TEST(MacBundles, ReadsIdentifierExecutableAndInfoValues) {
  TemporaryFolder folder;
  makeBundle(folder / "Q.app", @{
    @"CFBundleIdentifier" : @"com.quorvane.browser",
    @"CFBundleExecutable" : @"Q",
    @"CFBundleShortVersionString" : @"1.2.3",
    @"LSUIElement" : [NSNumber numberWithBool:YES],
  });
  std::optional<BundleContents> contents =
      MacBundles().open(FileURL::fromAbsolutePath(folder / "Q.app"));
  ASSERT_TRUE(contents);
  EXPECT_EQ(contents->bundleIdentifier, std::optional<std::string>("com.quorvane.browser"));
  EXPECT_EQ(contents->executableURL,
            std::optional<FileURL>(FileURL::fromAbsolutePath(folder / "Q.app/Contents/MacOS/Q")));
  ASSERT_NE(contents->infoValue("CFBundleShortVersionString"), nullptr);
  EXPECT_EQ(*contents->infoValue("CFBundleShortVersionString"), PropertyValue("1.2.3"));
  ASSERT_NE(contents->infoValue("LSUIElement"), nullptr);
  EXPECT_EQ(*contents->infoValue("LSUIElement"), PropertyValue(true));
}

TEST(MacBundles, AbsentValuesStayAbsent) {
  TemporaryFolder folder;
  makeBundle(folder / "Bare.app", @{});
  std::optional<BundleContents> contents =
      MacBundles().open(FileURL::fromAbsolutePath(folder / "Bare.app"));
  ASSERT_TRUE(contents);
  EXPECT_EQ(contents->bundleIdentifier, std::nullopt);
  EXPECT_EQ(contents->executableURL, std::nullopt);
  EXPECT_EQ(contents->infoValue("CFBundleShortVersionString"), nullptr);
  EXPECT_EQ(MacBundles().open(FileURL::fromAbsolutePath(folder / "missing.app")), std::nullopt);
  // Refused, which is no bundle without values: the report says so.
  ASSERT_EQ(::chmod((folder / "Bare.app/Contents/Info.plist").c_str(), 0), 0);
  EXPECT_TRUE(MacBundles().open(FileURL::fromAbsolutePath(folder / "Bare.app"))->infoRefused);
}

TEST(MacBundles, ReadsALocationAfreshAfterItsBundleWasExchanged) {
  TemporaryFolder folder;
  makeBundle(folder / "Q.app", @{@"CFBundleIdentifier" : @"com.quorvane.old"});
  makeBundle(folder / "New.app", @{@"CFBundleIdentifier" : @"com.quorvane.new"});
  const FileURL installed = FileURL::fromAbsolutePath(folder / "Q.app");
  MacBundles bundles;
  ASSERT_EQ(bundles.open(installed)->bundleIdentifier, "com.quorvane.old");
  // The system's per-path instance of the old bundle, which must not answer.
  ASSERT_NE([NSBundle bundleWithPath:@((folder / "Q.app").c_str())], nil);
  ASSERT_EQ(MacPosix().exchange(folder / "Q.app", folder / "New.app"), 0);
  EXPECT_EQ(bundles.open(installed)->bundleIdentifier, "com.quorvane.new");
  EXPECT_EQ(bundles.open(FileURL::fromAbsolutePath(folder / "New.app"))->bundleIdentifier,
            "com.quorvane.old");
}

TEST(MacText, ComposesAndLowersWithoutLocale) {
  MacText text;
  struct Case {
    std::string input;
    std::string precomposed;
    std::string lowercased;
  };
  const Case cases[] = {
      {"e\xCC\x81", "\xC3\xA9", "e\xCC\x81"},        // e + combining acute
      {"\xC3\x80" "B", "\xC3\x80" "B", "\xC3\xA0" "b"},  // À B
      {"I", "I", "i"},                                 // no Turkish dotless i
      {"\xE6\xB5\x8F", "\xE6\xB5\x8F", "\xE6\xB5\x8F"},
      {"\xFF" "A", "\xFF" "A", "\xFF" "A"},           // not UTF-8: unchanged
  };
  for (const Case& c : cases) {
    EXPECT_EQ(text.precomposed(c.input), c.precomposed) << c.input;
    EXPECT_EQ(text.lowercased(c.input), c.lowercased) << c.input;
  }
}

TEST(MacUUIDs, AreUpperCaseAndNew) {
  MacUUIDs uuids;
  const std::regex form("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}");
  std::set<std::string> seen;
  for (int count = 0; count < 16; ++count) {
    std::string uuid = uuids.newUUIDString();
    EXPECT_TRUE(std::regex_match(uuid, form)) << uuid;
    seen.insert(uuid);
  }
  EXPECT_EQ(seen.size(), 16u);
}

TEST(MacPreferences, AValueIsWrittenSynchronizedAndReadBack) {
  MacPreferences preferences;
  NSString* domainName = @"com.quorvane.installer.tests.written";
  const std::string domain = domainName.UTF8String;
  const PropertyValue value(PropertyArray{PropertyValue("\xE6\xB5\x8F"), PropertyValue(true)});
  preferences.setValue("key", value, domain);
  EXPECT_TRUE(preferences.synchronize(domain));
  EXPECT_EQ(preferences.copyValue("key", domain), std::optional<PropertyValue>(value));
  // Leaves the test domain empty again.
  CFPreferencesSetValue((__bridge CFStringRef)@"key", nullptr, (__bridge CFStringRef)domainName,
                        kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
  EXPECT_TRUE(preferences.synchronize(domain));
}

TEST(MacPreferences, AValueWithNoPropertyListFormFailsTheSynchronization) {
  // Nothing is written: a refused value never reaches CFPreferences.
  MacPreferences preferences;
  const std::string domain = "com.quorvane.installer.tests.unwritten";
  EXPECT_EQ(preferences.copyValue("missing", domain), std::nullopt);
  preferences.setValue("key", PropertyValue("\xFF"), domain);
  EXPECT_FALSE(preferences.synchronize(domain));
  EXPECT_EQ(preferences.copyValue("key", domain), std::nullopt);
}

}  // namespace
}  // namespace installer::macos
