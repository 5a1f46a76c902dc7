#include <gtest/gtest.h>

#include <filesystem>

#include "platform/host/host.h"
#include "tests/platform/host_test_folder.h"

namespace installer::host {
namespace {

using fixtures::ScopedVariable;
using fixtures::TemporaryFolder;
namespace fs = std::filesystem;

const std::string dock = "com.apple.dock";

TEST(HostPreferencesTest, SynchronizeWritesTheWholeDictionaryKeepingOtherKeys) {
  TemporaryFolder folder;
  ScopedVariable config("XDG_CONFIG_HOME", folder.path().c_str());
  const std::string path = folder / "preferences/com.apple.dock.plist";
  fs::create_directories(folder / "preferences");
  const PropertyArray apps = {PropertyValue(PropertyDictionary{{"tile", PropertyValue("x")}})};
  ASSERT_TRUE(writePropertyList(path, PropertyValue(PropertyDictionary{
                                          {"orientation", PropertyValue("left")},
                                          {"persistent-apps", PropertyValue(apps)},
                                      })));

  HostPreferences preferences;
  EXPECT_EQ(preferences.copyValue("orientation", dock), PropertyValue("left"));
  EXPECT_EQ(preferences.copyValue("missing", dock), std::nullopt);
  PropertyArray moreApps = apps;
  moreApps.push_back(PropertyValue("y"));
  preferences.setValue("persistent-apps", PropertyValue(moreApps), dock);
  preferences.setValue("autohide", PropertyValue(true), dock);
  EXPECT_EQ(preferences.copyValue("autohide", dock), PropertyValue(true));
  EXPECT_EQ(readPropertyList(path)->dictionary()->size(), 2u) << "nothing written before synchronize";

  ASSERT_TRUE(preferences.synchronize(dock));
  const PropertyValue expected(PropertyDictionary{
      {"orientation", PropertyValue("left")},
      {"persistent-apps", PropertyValue(moreApps)},
      {"autohide", PropertyValue(true)},
  });
  EXPECT_EQ(readPropertyList(path), expected);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder / "preferences"), fs::directory_iterator()),
            1);
  EXPECT_EQ(HostPreferences().copyValue("autohide", dock), PropertyValue(true));
}

TEST(HostPreferencesTest, SynchronizeCreatesTheFoldersUnderHomeByDefault) {
  TemporaryFolder folder;
  ScopedVariable home("HOME", (folder / "home").c_str());
  for (const char* configHome : {static_cast<const char*>(nullptr), "relative/config"}) {
    ScopedVariable config("XDG_CONFIG_HOME", configHome);
    fs::remove_all(folder / "home");
    HostPreferences preferences;
    preferences.setValue("key", PropertyValue(std::int64_t{3}), "com.quorvane.installer");
    ASSERT_TRUE(preferences.synchronize("com.quorvane.installer"));
    EXPECT_EQ(readPropertyList(folder / "home/.config/preferences/com.quorvane.installer.plist"),
              PropertyValue(PropertyDictionary{{"key", PropertyValue(std::int64_t{3})}}));
  }
}

TEST(HostPreferencesTest, AFileThatCannotBeReadAsADictionaryIsNeverOverwritten) {
  TemporaryFolder folder;
  ScopedVariable config("XDG_CONFIG_HOME", folder.path().c_str());
  fs::create_directories(folder / "preferences");
  const std::string path = folder / "preferences/com.apple.dock.plist";
  const std::vector<std::string> contents = {
      "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>persistent-apps</key>",
      "<?xml version=\"1.0\"?><plist version=\"1.0\"><array><string>a</string></array></plist>",
      "bplist00 not really",
      // Rewritten, it would keep only one of the two values.
      fixtures::binaryDictionary({{"persistent-apps", "x"}, {"persistent-apps", "y"}}),
      // Read naively, it would end the process.
      fixtures::binaryDictionary({{std::string("tile\0size", 9), "x"}}, {.utf16 = true}),
  };
  for (const std::string& text : contents) {
    fixtures::writeFile(path, text);
    HostPreferences preferences;
    EXPECT_EQ(preferences.copyValue("persistent-apps", dock), std::nullopt);
    preferences.setValue("persistent-apps", PropertyValue(PropertyArray{}), dock);
    EXPECT_FALSE(preferences.synchronize(dock)) << text;
    EXPECT_EQ(fixtures::readFile(path), text);
  }

  HostPreferences preferences;
  preferences.setValue("key", PropertyValue("x"), "../escape");
  EXPECT_FALSE(preferences.synchronize("../escape"));
  EXPECT_FALSE(fs::exists(folder / "escape.plist"));
}

TEST(HostPreferencesTest, AFileKeepsItsFormatOrIsLeftUntouchedWhenItCannot) {
  TemporaryFolder folder;
  ScopedVariable config("XDG_CONFIG_HOME", folder.path().c_str());
  fs::create_directories(folder / "preferences");
  const std::string path = folder / "preferences/com.apple.dock.plist";
  const PropertyValue label("tile\x01label");
  fixtures::writeFile(path, fixtures::binaryDictionary({{"label", "x"}}));
  {
    HostPreferences preferences;
    preferences.setValue("label", label, dock);
    ASSERT_TRUE(preferences.synchronize(dock));
  }
  EXPECT_TRUE(fixtures::readFile(path).starts_with("bplist00"));
  EXPECT_EQ(HostPreferences().copyValue("label", dock), label);

  // XML has no form for the control character.
  const PropertyValue plain(PropertyDictionary{{"label", PropertyValue("x")}});
  ASSERT_TRUE(writePropertyList(path, plain));
  const std::string xml = fixtures::readFile(path);
  HostPreferences preferences;
  preferences.setValue("label", label, dock);
  EXPECT_FALSE(preferences.synchronize(dock));
  EXPECT_EQ(fixtures::readFile(path), xml);
}

}  // namespace
}  // namespace installer::host
