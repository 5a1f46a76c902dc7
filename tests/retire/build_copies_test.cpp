#include "retire/build_copies.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "tests/retire/retire_test_support.h"

namespace installer {
namespace {

namespace fs = std::filesystem;

class BuildCopiesTest : public testing::RetireTest {
 protected:
  BuildCopiesTest() { fs::create_directories(temporary()); }

  std::string temporary() const { return root() + "/tmp"; }
  /// A folder at `relative` under the temporary folder with exactly `mode`.
  void folder(const std::string& relative, mode_t mode = 0755) {
    const std::string path = temporary() + "/" + relative;
    fs::create_directories(path);
    ASSERT_EQ(::chmod(path.c_str(), mode), 0) << path;
  }
  /// Creates browser-like items; only their names matter here.
  void items(const std::string& relative, std::initializer_list<const char*> names) {
    for (const char* name : names) fs::create_directories(temporary() + "/" + relative + "/" + name);
  }
  std::vector<std::string> found() {
    std::vector<std::string> paths;
    for (const FileURL& copy : temporaryBuildCopies(FileURL::fromAbsolutePath(temporary()))) {
      paths.push_back(copy.path().substr(temporary().size() + 1));
    }
    return paths;
  }
};

TEST_F(BuildCopiesTest, OnlyTheNameOrTheNameWithAVersionIsABrowserName) {
  const struct {
    const char* name;
    bool expected;
  } cases[] = {
      {"Quorvane浏览器.app", true},
      {"Quorvane浏览器 2.0.app", true},
      {"Quorvane浏览器 10.app", true},
      {"Quorvane浏览器 2.0.0.1.app", true},
      {"Quorvane浏览器.APP", false},
      {"Quorvane浏览器", false},
      {"Quorvane浏览器 copy.app", false},
      {"Quorvane浏览器 2.0 copy.app", false},
      {"Quorvane浏览器 .app", false},
      {"Quorvane浏览器  2.0.app", false},
      {"Quorvane浏览器-2.0.app", false},
      {"Quorvane浏览器 2..0.app", false},
      {"Quorvane浏览器 1.2.3.4.5.app", false},
      {"quorvane浏览器.app", false},
      {"Quorvane浏览器 2.0.app.zip", false},
      {"Quorvane.app", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(hasBrowserName(FileURL::fromAbsolutePath(std::string("/Applications/") + c.name)),
              c.expected)
        << c.name;
  }
  EXPECT_TRUE(hasBrowserName(FileURL::fromAbsolutePath("/x/Quorvane浏览器 2.0.app/")))
      << "a trailing separator is not part of the name";
}

TEST_F(BuildCopiesTest, OnlyPrivateDirectoriesOfTheUserArePrivate) {
  const struct {
    const char* name;
    mode_t mode;
    bool expected;
  } modes[] = {
      {"open to read", 0755, true}, {"owner only", 0700, true},  {"group writes", 0775, false},
      {"others write", 0757, false}, {"all write", 0777, false}, {"sticky shared", 01777, false},
  };
  for (const auto& c : modes) {
    folder(c.name, c.mode);
    EXPECT_EQ(isPrivateDirectory(FileURL::fromAbsolutePath(temporary() + "/" + c.name)), c.expected)
        << c.name;
  }

  folder("target");
  fs::create_directory_symlink(temporary() + "/target", temporary() + "/link");
  testing::writeFile(temporary() + "/file", "");
  ::chmod((temporary() + "/file").c_str(), 0600);
  EXPECT_FALSE(isPrivateDirectory(url("tmp/link"))) << "a link is judged as itself";
  EXPECT_FALSE(isPrivateDirectory(url("tmp/file")));
  EXPECT_FALSE(isPrivateDirectory(url("tmp/missing")));
}

TEST_F(BuildCopiesTest, AFolderOfAnotherUserIsNotPrivate) {
  if (::getuid() != 0) GTEST_SKIP() << "needs root to give a folder away";
  folder("given away");
  ASSERT_EQ(::chown((temporary() + "/given away").c_str(), 65534, 65534), 0);
  EXPECT_FALSE(isPrivateDirectory(url("tmp/given away")));

  folder("qrvx-browser-nobody");
  items("qrvx-browser-nobody", {"Quorvane浏览器.app"});
  ASSERT_EQ(::chown((temporary() + "/qrvx-browser-nobody").c_str(), 65534, 65534), 0);
  EXPECT_TRUE(found().empty());
}

TEST_F(BuildCopiesTest, FindsBrowserNamedItemsInPrivateBuildFoldersAndTheirKnownSubfolders) {
  folder("qrvx-browser-1");
  items("qrvx-browser-1", {"Quorvane浏览器.app", "Other.app", ".Quorvane浏览器 1.0.app",
                           "Quorvane浏览器 copy.app"});
  // The open bundle itself is not judged; only folders are.
  folder("qrvx-browser-1/Quorvane浏览器 0.9.app", 0777);

  folder("qrvx-home-compact.7");
  items("qrvx-home-compact.7", {"Quorvane浏览器 3.0.app"});
  // The subfolders come in the table's order, not the listing's.
  for (const char* sub : {"release", "final", "native", "candidate", "debug"}) {
    folder(std::string("qrvx-home-compact.7/") + sub);
    items(std::string("qrvx-home-compact.7/") + sub, {"Quorvane浏览器 3.1.app"});
  }
  items("qrvx-home-compact.7/release/x", {"Quorvane浏览器.app"});
  folder("qrvx-home-compact.7/native", 0775);

  folder("qrvx-cef-a");
  items("qrvx-cef-a", {"Quorvane浏览器 5.app"});
  testing::writeFile(temporary() + "/qrvx-cef-a/candidate", "a file, not a folder");

  // Not build folders, or not private ones.
  folder("qrvx-browser-2", 0775);
  items("qrvx-browser-2", {"Quorvane浏览器.app"});
  folder("qrvx-browser-2/release");
  items("qrvx-browser-2/release", {"Quorvane浏览器.app"});
  folder("qrvx-browser-3", 0757);
  items("qrvx-browser-3", {"Quorvane浏览器.app"});
  folder("qrvx-home-compact");
  items("qrvx-home-compact", {"Quorvane浏览器.app"});
  folder("QRVX-browser-1");
  items("QRVX-browser-1", {"Quorvane浏览器.app"});
  folder(".qrvx-browser-hidden");
  items(".qrvx-browser-hidden", {"Quorvane浏览器.app"});
  folder("elsewhere");
  items("elsewhere", {"Quorvane浏览器.app"});
  fs::create_directory_symlink(temporary() + "/elsewhere", temporary() + "/qrvx-browser-link");
  testing::writeFile(temporary() + "/qrvx-browser-file", "");

  EXPECT_EQ(found(), (std::vector<std::string>{
                         "qrvx-browser-1/Quorvane浏览器 0.9.app",
                         "qrvx-browser-1/Quorvane浏览器.app",
                         "qrvx-cef-a/Quorvane浏览器 5.app",
                         "qrvx-home-compact.7/Quorvane浏览器 3.0.app",
                         "qrvx-home-compact.7/release/Quorvane浏览器 3.1.app",
                         "qrvx-home-compact.7/final/Quorvane浏览器 3.1.app",
                         "qrvx-home-compact.7/candidate/Quorvane浏览器 3.1.app",
                     }));
}

TEST_F(BuildCopiesTest, AnOpenSubfolderHidesOnlyItsOwnItems) {
  folder("qrvx-home-compact.7");
  items("qrvx-home-compact.7", {"Quorvane浏览器.app"});
  folder("qrvx-home-compact.7/release", 0775);
  items("qrvx-home-compact.7/release", {"Quorvane浏览器 3.1.app"});
  EXPECT_EQ(found(), (std::vector<std::string>{"qrvx-home-compact.7/Quorvane浏览器.app"}));
}

TEST_F(BuildCopiesTest, AnUnreadableTemporaryFolderYieldsNothing) {
  fs::remove_all(temporary());
  EXPECT_TRUE(found().empty());
}

}  // namespace
}  // namespace installer
