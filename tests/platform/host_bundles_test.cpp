#include <gtest/gtest.h>

#include <filesystem>

#include "platform/host/host.h"
#include "tests/platform/host_test_folder.h"

namespace installer::host {
namespace {

using fixtures::TemporaryFolder;
namespace fs = std::filesystem;

FileURL at(const std::string& path) { return FileURL::fromAbsolutePath(path); }

TEST(HostBundlesTest, OpensDirectoriesAndReadsWhatTheInfoPlistHolds) {
  TemporaryFolder folder;
  struct Case {
    std::string name;
    std::optional<PropertyValue> info;  // nothing: no Info.plist at all
    std::optional<std::string> identifier;
    std::optional<std::string> executable;
  };
  const PropertyDictionary complete = {
      {"CFBundleIdentifier", PropertyValue("com.quorvane.browser")},
      {"CFBundleExecutable", PropertyValue("Quorvane浏览器")},
      {"CFBundleShortVersionString", PropertyValue("2.1.0")},
  };
  const std::vector<Case> cases = {
      {"complete.app", PropertyValue(complete), "com.quorvane.browser", "Quorvane浏览器"},
      {"no plist.app", std::nullopt, std::nullopt, std::nullopt},
      {"array.app", PropertyValue(PropertyArray{PropertyValue("x")}), std::nullopt, std::nullopt},
      {"numbers.app",
       PropertyValue(PropertyDictionary{{"CFBundleIdentifier", PropertyValue(std::int64_t{7})},
                                        {"CFBundleExecutable", PropertyValue(true)}}),
       std::nullopt, std::nullopt},
      {"empty executable.app",
       PropertyValue(PropertyDictionary{{"CFBundleIdentifier", PropertyValue("a.b")},
                                        {"CFBundleExecutable", PropertyValue("")}}),
       "a.b", std::nullopt},
  };
  for (const Case& c : cases) {
    const std::string bundle = folder / c.name;
    fs::create_directories(bundle + "/Contents");
    if (c.info) {
      ASSERT_TRUE(writePropertyList(bundle + "/Contents/Info.plist", *c.info));
    }
    std::optional<BundleContents> contents = HostBundles().open(at(bundle));
    ASSERT_TRUE(contents) << c.name;
    EXPECT_EQ(contents->bundleIdentifier, c.identifier) << c.name;
    std::optional<FileURL> executable;
    if (c.executable) executable = at(bundle + "/Contents/MacOS/" + *c.executable);
    EXPECT_EQ(contents->executableURL, executable) << c.name;
    const PropertyDictionary* dictionary = c.info ? c.info->dictionary() : nullptr;
    EXPECT_EQ(contents->info, dictionary ? *dictionary : PropertyDictionary{}) << c.name;
  }
  EXPECT_EQ(*HostBundles().open(at(folder / "numbers.app"))->infoValue("CFBundleIdentifier"),
            PropertyValue(std::int64_t{7}));

  fs::create_directories(folder / "broken.app/Contents");
  fixtures::writeFile(folder / "broken.app/Contents/Info.plist", "<plist><dict><key>");
  std::optional<BundleContents> broken = HostBundles().open(at(folder / "broken.app"));
  ASSERT_TRUE(broken);
  EXPECT_TRUE(broken->info.empty());

  fs::create_directory_symlink(folder / "complete.app", folder / "link.app");
  std::optional<BundleContents> linked = HostBundles().open(at(folder / "link.app"));
  ASSERT_TRUE(linked);
  EXPECT_EQ(linked->bundleIdentifier, "com.quorvane.browser");

  fixtures::writeFile(folder / "file.app", "");
  EXPECT_FALSE(HostBundles().open(at(folder / "file.app")));
  EXPECT_FALSE(HostBundles().open(at(folder / "missing.app")));
}

const fixtures::ProbeRegistration mainBundleProbe("main-bundle", [] {
  HostBundles bundles;
  std::optional<FileURL> resources = bundles.mainResourceURL();
  return bundles.mainBundleURL().path() + "\n" + (resources ? resources->path() : "(none)");
});

TEST(HostBundlesTest, MainBundleIsTheAppAroundTheExecutable) {
  TemporaryFolder folder;
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Installer.app/Contents/MacOS/Installer",
       folder / "Installer.app\n" + folder / "Installer.app/Contents/Resources"},
      {"Plain/Contents/MacOS/tool", folder / "Plain/Contents/MacOS\n(none)"},
      {"Other.app/Contents/Helpers/tool", folder / "Other.app/Contents/Helpers\n(none)"},
      {"bin/tool", folder / "bin\n(none)"},
  };
  for (const auto& [location, expected] : cases) {
    const std::string executable = folder / location;
    fs::create_directories(fs::path(executable).parent_path());
    fs::copy_file(fixtures::thisExecutable(), executable);
    EXPECT_EQ(fixtures::runProbe(executable, "main-bundle", {}, folder / "answer"), expected)
        << location;
    fs::remove(executable);
  }
}

}  // namespace
}  // namespace installer::host
