#include <gtest/gtest.h>
#include <plist/plist.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <limits>

#include "platform/host/host.h"
#include "tests/platform/host_test_folder.h"

namespace installer::host {
namespace {

using fixtures::TemporaryFolder;

PropertyValue everyType() {
  PropertyDictionary nested = {{"b", PropertyValue(std::int64_t{1})},
                               {"a", PropertyValue(std::int64_t{2})}};
  return PropertyValue(PropertyDictionary{
      {"zeta", PropertyValue("Quorvane浏览器 <&> \"'")},
      {"negative", PropertyValue(std::int64_t{-42})},
      {"largest", PropertyValue(std::numeric_limits<std::int64_t>::max())},
      {"smallest", PropertyValue(std::numeric_limits<std::int64_t>::min())},
      {"real", PropertyValue(0.1)},
      {"yes", PropertyValue(true)},
      {"no", PropertyValue(false)},
      {"data", PropertyValue(PropertyData{{0x00, 0xff, 0x10, 0x00}})},
      {"date", PropertyValue(PropertyDate{700000000})},
      {"early date", PropertyValue(PropertyDate{-86400})},
      {"list", PropertyValue(PropertyArray{PropertyValue(nested), PropertyValue(PropertyArray{}),
                                           PropertyValue("")})},
      {"empty", PropertyValue(PropertyDictionary{})},
      {"alpha", PropertyValue("last, though first in the alphabet")},
  });
}

/// The file at `xmlPath` converted to a binary property list at `binaryPath`.
void convertToBinary(const std::string& xmlPath, const std::string& binaryPath) {
  std::string xml = fixtures::readFile(xmlPath);
  plist_t root = nullptr;
  plist_from_xml(xml.data(), static_cast<uint32_t>(xml.size()), &root);
  ASSERT_NE(root, nullptr);
  char* binary = nullptr;
  uint32_t length = 0;
  plist_to_bin(root, &binary, &length);
  plist_free(root);
  fixtures::writeFile(binaryPath, std::string(binary, length));
  plist_to_bin_free(binary);
}

std::vector<std::string> namesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(HostPropertyListTest, RoundTripsEveryTypeInKeyOrderAsXMLAndBinary) {
  TemporaryFolder folder;
  const PropertyValue value = everyType();
  ASSERT_TRUE(writePropertyList(folder / "list.plist", value));
  EXPECT_EQ(fixtures::readFile(folder / "list.plist").rfind("<?xml", 0), 0u);
  EXPECT_EQ(readPropertyList(folder / "list.plist"), value);

  convertToBinary(folder / "list.plist", folder / "binary.plist");
  EXPECT_EQ(fixtures::readFile(folder / "binary.plist").rfind("bplist00", 0), 0u);
  EXPECT_EQ(readPropertyList(folder / "binary.plist"), value);
}

TEST(HostPropertyListTest, ReadsBinaryOnlyValues) {
  TemporaryFolder folder;
  plist_t root = plist_new_dict();
  plist_dict_set_item(root, "uid", plist_new_uid(7));
  plist_dict_set_item(root, "unsigned", plist_new_uint(std::numeric_limits<uint64_t>::max()));
  plist_dict_set_item(root, "fraction", plist_new_date(100, 250000));
  char* binary = nullptr;
  uint32_t length = 0;
  plist_to_bin(root, &binary, &length);
  plist_free(root);
  fixtures::writeFile(folder / "b.plist", std::string(binary, length));
  plist_to_bin_free(binary);

  const PropertyValue expected(PropertyDictionary{
      {"uid", PropertyValue(std::int64_t{7})},
      {"unsigned", PropertyValue(std::int64_t{-1})},
      {"fraction", PropertyValue(PropertyDate{100.25})},
  });
  EXPECT_EQ(readPropertyList(folder / "b.plist"), expected);
}

TEST(HostPropertyListTest, AnswersNothingForWhatIsNoPropertyList) {
  TemporaryFolder folder;
  const std::vector<std::pair<std::string, std::string>> files = {
      {"empty", ""},
      {"text", "CFBundleIdentifier = com.quorvane.browser"},
      {"truncated", "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>a</key>"},
      {"binary garbage", "bplist00\x01\x02\x03garbage that is not a trailer"},
  };
  for (const auto& [name, contents] : files) {
    fixtures::writeFile(folder / name, contents);
    EXPECT_FALSE(readPropertyList(folder / name).has_value()) << name;
  }
  EXPECT_FALSE(readPropertyList(folder / "missing").has_value());
  std::filesystem::create_directory(folder / "folder.plist");
  EXPECT_FALSE(readPropertyList(folder / "folder.plist").has_value());
  ASSERT_EQ(::mkfifo((folder / "fifo.plist").c_str(), 0600), 0);
  EXPECT_FALSE(readPropertyList(folder / "fifo.plist").has_value()) << "and did not block";
}

TEST(HostPropertyListTest, DictionariesOnlyABinaryListCanHoldAreNoPropertyList) {
  TemporaryFolder folder;
  const PropertyValue sound(
      PropertyDictionary{{"a", PropertyValue("x")}, {"b", PropertyValue("y")}});
  for (bool utf16 : {false, true}) {
    fixtures::writeFile(folder / "sound",
                        fixtures::binaryDictionary({{"a", "x"}, {"b", "y"}}, {.utf16 = utf16}));
    EXPECT_EQ(readPropertyList(folder / "sound"), sound) << utf16;
  }

  const std::string keyWithNUL("a\0b", 3);
  const std::vector<std::pair<std::string, std::string>> files = {
      // Which of two values under one key counts would be a guess.
      {"duplicate", fixtures::binaryDictionary({{"a", "x"}, {"a", "y"}})},
      {"shared duplicate", fixtures::binaryDictionary({{"a", "x"}, {"a", "y"}}, {.shared = true})},
      // Asking libplist for this key's text would end the process.
      {"NUL in a key", fixtures::binaryDictionary({{keyWithNUL, "x"}}, {.utf16 = true})},
  };
  for (const auto& [name, contents] : files) {
    fixtures::writeFile(folder / name, contents);
    EXPECT_FALSE(readPropertyList(folder / name).has_value()) << name;
  }
}

TEST(HostPropertyListTest, WritesAtomicallyKeepingTheModeAndLeavingNoTemporary) {
  TemporaryFolder folder;
  const std::string path = folder / "prefs.plist";
  ASSERT_TRUE(writePropertyList(path, PropertyValue("first")));
  struct stat status {};
  ASSERT_EQ(::stat(path.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0600u);

  ::chmod(path.c_str(), 0644);
  ASSERT_TRUE(writePropertyList(path, PropertyValue("second")));
  ASSERT_EQ(::stat(path.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0644u);
  EXPECT_EQ(readPropertyList(path), PropertyValue("second"));
  EXPECT_EQ(namesIn(folder.path()), std::vector<std::string>{"prefs.plist"});
}

TEST(HostPropertyListTest, FailedWritesLeaveTheTargetAndNoTemporary) {
  TemporaryFolder folder;
  const std::string path = folder / "prefs.plist";
  ASSERT_TRUE(writePropertyList(path, PropertyValue("kept")));
  const std::string before = fixtures::readFile(path);

  // Values libplist cannot hold are refused, not written truncated.
  EXPECT_FALSE(writePropertyList(path, PropertyValue(PropertyDate{1e12})));
  EXPECT_FALSE(writePropertyList(path, PropertyValue(std::string("a\0b", 3))));
  EXPECT_EQ(fixtures::readFile(path), before);

  std::filesystem::create_directory(folder / "occupied.plist");
  EXPECT_FALSE(writePropertyList(folder / "occupied.plist", PropertyValue("x")));
  EXPECT_FALSE(writePropertyList(folder / "missing/prefs.plist", PropertyValue("x")));
  EXPECT_EQ(namesIn(folder.path()), (std::vector<std::string>{"occupied.plist", "prefs.plist"}));
}

}  // namespace
}  // namespace installer::host
