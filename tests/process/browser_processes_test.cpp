#include "process/browser_processes.h"

#include <filesystem>

#include "tests/support/platform_test.h"

namespace installer {
namespace {

namespace fs = std::filesystem;

class BrowserProcessesTest : public testing::PlatformTest {
 protected:
  BrowserProcessesTest() {
    fs::create_directories(root() + "/Apps/Quorvane浏览器.app/Contents");
    fs::create_symlink(root() + "/Apps", root() + "/Link");
    fs::create_symlink(root() + "/Apps/Quorvane浏览器.app", root() + "/Apps/Alias.app");
    fs::copy(root() + "/Apps/Quorvane浏览器.app", root() + "/Copy.app",
             fs::copy_options::recursive);
  }

  std::shared_ptr<testing::FakeRunningApplication> add(int pid, std::optional<FileURL> bundle) {
    return running_.add(pid, std::move(bundle), QRVX_BROWSER_IDENTIFIER);
  }

  std::vector<int> selected(const std::optional<FileURL>& location) {
    std::vector<int> pids;
    for (const auto& instance : browserProcesses(location)) {
      pids.push_back(instance->processIdentifier());
    }
    return pids;
  }
};

TEST_F(BrowserProcessesTest, WithoutLocationEveryLiveInstanceInThePlatformOrder) {
  add(3, url("Apps/Quorvane浏览器.app"));
  add(1, std::nullopt);
  add(2, url("Elsewhere/Quorvane浏览器.app"))->terminated_ = true;
  add(5, url("Copy.app"));
  running_.add(4, url("Apps/Quorvane浏览器.app"), "com.example.other");
  EXPECT_EQ(selected(std::nullopt), (std::vector<int>{3, 1, 5}));
  EXPECT_EQ(running_.listings_, 1);
  EXPECT_TRUE(posix_.lstats_.empty());
}

TEST_F(BrowserProcessesTest, WithLocationByPathTextOrByTheEntryItself) {
  const std::string bundle = root() + "/Apps/Quorvane浏览器.app";
  const std::string viaLink = root() + "/Link/Quorvane浏览器.app";
  const struct {
    const char* name;
    std::optional<std::string> instanceBundle;
    std::string location;
    bool terminated;
    bool selected;
    std::vector<std::string> lstats;
  } cases[] = {
      {"same text", bundle, bundle, false, true, {}},
      {"same text, terminated", bundle, bundle, true, false, {}},
      {"no bundle location", std::nullopt, bundle, false, false, {}},
      // The instance's location is normalized, the given one is used as passed.
      {"instance through a linked folder", viaLink, bundle, false, true, {}},
      {"location through a linked folder", bundle, viaLink, false, true, {bundle, viaLink}},
      {"canonically equivalent text", root() + "/Cafe\u0301/Quorvane浏览器.app",
       root() + "/Caf\u00e9/Quorvane浏览器.app", false, true, {}},
      {"missing location", root() + "/Gone/Quorvane浏览器.app",
       root() + "/Missing/Quorvane浏览器.app", false, false,
       {root() + "/Gone/Quorvane浏览器.app"}},
      {"existing instance, missing location", bundle, root() + "/Missing/Quorvane浏览器.app",
       false, false, {bundle, root() + "/Missing/Quorvane浏览器.app"}},
      // lstat does not follow a final link: the link is an entry of its own.
      {"location is a link to the bundle", bundle, root() + "/Apps/Alias.app", false, false,
       {bundle, root() + "/Apps/Alias.app"}},
      {"a copy of the bundle", root() + "/Copy.app", bundle, false, false,
       {root() + "/Copy.app", bundle}},
  };
  for (const auto& c : cases) {
    running_.instances_.clear();
    posix_.lstats_.clear();
    std::optional<FileURL> instanceBundle;
    if (c.instanceBundle) instanceBundle = FileURL::fromAbsolutePath(*c.instanceBundle);
    add(7, instanceBundle)->terminated_ = c.terminated;
    EXPECT_EQ(selected(FileURL::fromAbsolutePath(c.location)),
              c.selected ? std::vector<int>{7} : std::vector<int>{})
        << c.name;
    EXPECT_EQ(posix_.lstats_, c.lstats) << c.name;
  }
}

TEST_F(BrowserProcessesTest, WithLocationKeepsThePlatformOrderOfTheMatches) {
  const FileURL bundle = url("Apps/Quorvane浏览器.app");
  add(9, url("Link/Quorvane浏览器.app"));
  add(8, url("Copy.app"));
  add(6, std::nullopt);
  add(4, bundle);
  EXPECT_EQ(selected(bundle), (std::vector<int>{9, 4}));
}

}  // namespace
}  // namespace installer
