#include "retire/dock_tiles.h"

#include <filesystem>

#include "tests/retire/retire_test_support.h"

namespace installer {
namespace {

namespace fs = std::filesystem;

const std::string dock = "com.apple.dock";

PropertyValue tileData(PropertyValue fileData) {
  return PropertyDictionary{{"tile-data", PropertyDictionary{{"file-label", "Quorvane浏览器"},
                                                             {"file-data", std::move(fileData)}}},
                            {"tile-type", "file-tile"}};
}
/// A tile as the Dock writes it, pointing at `urlString`.
PropertyValue tile(const std::string& urlString) {
  return tileData(PropertyDictionary{{"_CFURLString", urlString},
                                     {"_CFURLStringType", std::int64_t{15}}});
}

class DockTilesTest : public testing::RetireTest {
 protected:
  DockTilesTest() : trashed_(root() + "/Apps/Quorvane浏览器 1.2.app") {
    fs::create_directories(root() + "/Apps");
  }

  void store(const std::string& key, PropertyValue value) {
    preferences_.values_[dock][key] = std::move(value);
  }
  const PropertyValue& stored(const std::string& key) { return preferences_.values_[dock][key]; }
  std::shared_ptr<testing::FakeRunningApplication> runningDock(int pid) {
    return running_.add(pid, url("Dock.app"), dock);
  }

  std::string trashed_;
};

TEST_F(DockTilesTest, NoPathsReadNothing) {
  store("persistent-apps", PropertyArray{tile(testing::fileURLString(trashed_))});
  runningDock(77);
  removeDockEntries({});
  EXPECT_TRUE(preferences_.reads_.empty());
  EXPECT_TRUE(preferences_.writes_.empty());
  EXPECT_EQ(preferences_.synchronizations_, 0);
  EXPECT_TRUE(posix_.signalsSent_.empty());
}

TEST_F(DockTilesTest, PathsWithoutTilesChangeNothing) {
  const PropertyArray tiles{tile(testing::fileURLString(root() + "/Apps/Other.app"))};
  store("persistent-apps", tiles);
  runningDock(77);
  removeDockEntries({trashed_});
  EXPECT_EQ(preferences_.reads_, (std::vector<std::string>{"persistent-apps", "recent-apps"}));
  EXPECT_TRUE(preferences_.writes_.empty());
  EXPECT_EQ(preferences_.synchronizations_, 0);
  EXPECT_TRUE(posix_.signalsSent_.empty());
  EXPECT_EQ(stored("persistent-apps"), PropertyValue(tiles));
}

TEST_F(DockTilesTest, OnlyReadableFileTilesOfTrashedCopiesGoAndTheRestStayInOrder) {
  fs::create_directory_symlink(root() + "/Apps", root() + "/linked");
  const std::string encodedWithSlash = testing::fileURLString(trashed_) + "/";
  ASSERT_NE(encodedWithSlash.find("%E6%B5%8F%E8%A7%88%E5%99%A8%201.2.app/"), std::string::npos);

  const PropertyArray malformed{
      PropertyDictionary{{"tile-type", "spacer-tile"}},
      PropertyDictionary{{"tile-data", "not a dictionary"}},
      PropertyDictionary{{"tile-data", PropertyDictionary{{"file-label", "x"}}}},
      tileData("not a dictionary"),
      tileData(PropertyDictionary{{"_CFURLStringType", std::int64_t{15}}}),
      tileData(PropertyDictionary{{"_CFURLString", std::int64_t{15}}}),
      tile(trashed_),  // a bare path is not a URL
      tileData(PropertyDictionary{{"_CFURLString", "Apps/Quorvane浏览器 1.2.app"},
                                  {"_CFURLStringType", std::int64_t{0}}}),
      tile(testing::fileURLString(trashed_) + "%ZZ"),
      tile("https://example.com" + trashed_),
      tile(testing::fileURLString(root() + "/Apps/Quorvane浏览器 1.2.app.old")),
      tile(testing::fileURLString(root() + "/Apps/Other.app")),
  };
  PropertyArray persistent;
  persistent.push_back(tile(encodedWithSlash));
  // Type 0: a plain path.
  persistent.push_back(tileData(
      PropertyDictionary{{"_CFURLString", trashed_}, {"_CFURLStringType", std::int64_t{0}}}));
  for (std::size_t index = 0; index < malformed.size(); ++index) {
    persistent.push_back(malformed[index]);
    if (index == 4) persistent.push_back(tile(testing::fileURLString(root() + "/linked/Quorvane浏览器 1.2.app")));
  }
  store("persistent-apps", persistent);
  const PropertyArray recent{tile(testing::fileURLString(root() + "/Apps/Other.app"))};
  store("recent-apps", recent);

  removeDockEntries({trashed_, root() + "/Apps/Quorvane浏览器 0.9.app"});

  EXPECT_EQ(stored("persistent-apps"), PropertyValue(malformed));
  EXPECT_EQ(stored("recent-apps"), PropertyValue(recent));
  EXPECT_EQ(preferences_.writes_, (std::vector<std::string>{"persistent-apps"}));
  EXPECT_EQ(preferences_.synchronizations_, 1);
}

TEST_F(DockTilesTest, AMalformedListIsSkippedAndTheOtherKeyStillEdited) {
  const PropertyValue notAList = "persistent";
  const PropertyValue mixedList = PropertyArray{tile(testing::fileURLString(trashed_)), "a string"};
  for (const PropertyValue& persistent : {notAList, mixedList}) {
    preferences_.writes_.clear();
    store("persistent-apps", persistent);
    store("recent-apps", PropertyArray{tile(testing::fileURLString(trashed_)), tile("file:///x.app")});
    removeDockEntries({trashed_});
    EXPECT_EQ(stored("persistent-apps"), persistent);
    EXPECT_EQ(stored("recent-apps"), PropertyValue(PropertyArray{tile("file:///x.app")}));
    EXPECT_EQ(preferences_.writes_, (std::vector<std::string>{"recent-apps"}));
  }
}

TEST_F(DockTilesTest, EveryLiveDockHearsOneHangUpAfterAStoredChange) {
  runningDock(77);
  runningDock(78)->terminated_ = true;
  runningDock(1);
  runningDock(0);
  runningDock(-1);
  runningDock(79);
  running_.add(90, url("Apps/Quorvane浏览器.app"), QRVX_BROWSER_IDENTIFIER);

  preferences_.synchronizeSucceeds_ = false;
  store("recent-apps", PropertyArray{tile(testing::fileURLString(trashed_))});
  removeDockEntries({trashed_});
  EXPECT_EQ(preferences_.synchronizations_, 1);
  EXPECT_TRUE(posix_.signalsSent_.empty()) << "an unsaved change is not announced";

  preferences_.synchronizeSucceeds_ = true;
  store("recent-apps", PropertyArray{tile(testing::fileURLString(trashed_))});
  removeDockEntries({trashed_});
  EXPECT_EQ(posix_.signalsSent_,
            (std::vector<std::pair<int, int>>{{77, hangUpSignal}, {79, hangUpSignal}}));
}

}  // namespace
}  // namespace installer
