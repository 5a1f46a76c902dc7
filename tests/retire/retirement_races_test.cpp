// Old copies that change between the moment they are found and the moment
// they are retired: a private build folder swapped for a link or opened to
// the group, a copy replaced after it was verified. The changes come from
// outside the logic, from platform services that make them right after a
// listing, a check or a tool run has answered. Each case retires what
// obsoleteCopies finds one by one, as the retirement phase does.

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>

#include "retire/build_copies.h"
#include "retire/obsolete_copies.h"
#include "retire/retired.h"
#include "tests/retire/retire_test_support.h"

namespace installer {
namespace {

namespace fs = std::filesystem;

bool isInside(const std::string& path, const std::string& folder) {
  return path.starts_with(folder + "/");
}

std::uint64_t inodeOf(const std::string& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) return 0;
  return status.st_ino;
}

/// The bundles anywhere below `folder`, by their path inside it, with their inodes.
std::map<std::string, std::uint64_t> copiesIn(const std::string& folder) {
  std::map<std::string, std::uint64_t> copies;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string path = entry.path().string();
    if (path.ends_with(".app")) copies[path.substr(folder.size())] = inodeOf(path);
  }
  return copies;
}

class RetirementRacesTest : public testing::RetireTest {
 protected:
  RetirementRacesTest()
      : source_(verify(bundle("Downloads/Quorvane浏览器.app", "2.0"))) {
    tools_->afterRun_ = [this](const std::vector<std::string>& arguments) {
      toolRuns_.push_back(arguments);
      if (afterTool_) afterTool_(arguments);
    };
  }

  FileURL destination() const { return url("home/Applications/Quorvane浏览器.app"); }

  /// Retires every copy obsoleteCopies finds, in its order, as the
  /// retirement phase does; answers the trashed paths.
  std::vector<std::string> retireObsoleteCopies(const std::string& temporaryFolder) {
    std::vector<std::string> trashed;
    for (const BundleInfo& info : obsoleteCopies(source_, destination(), {},
                                                 FileURL::fromAbsolutePath(temporaryFolder))) {
      if (retired(info, info.url)) trashed.push_back(info.url.path());
    }
    return trashed;
  }

  /// Forgets the tool runs and trash requests of an earlier case.
  void startCase() {
    toolRuns_.clear();
    tools_->forgetRuns();
    files_->trashRequests_.clear();
    files_->trashed_.clear();
    // The Trash names its items by number; numbering starts again.
    fs::remove_all(root() + "/Trash");
    files_->afterListing_ = nullptr;
    posix_.afterStatus_ = nullptr;
    afterTool_ = nullptr;
  }

  BundleInfo source_;
  /// Every tool run, after it ended: codesign's and lsregister's arguments.
  std::vector<std::vector<std::string>> toolRuns_;
  std::function<void(const std::vector<std::string>&)> afterTool_;
};

enum class Swap {
  link,           ///< moved away, a link to a folder of older copies put in its place
  groupWritable,  ///< the group may now write it
};

enum class Moment {
  afterTemporaryListing,  ///< the temporary folder was listed
  afterCheck,             ///< the folder itself was looked at
  afterListing,           ///< the folder was listed
  afterVerification,      ///< the first copy inside it was verified
  afterEarlierCopy,       ///< every copy was verified, and an earlier one's registration withdrawn
};

const char* momentName(Moment moment) {
  switch (moment) {
    case Moment::afterTemporaryListing: return "after the temporary folder was listed";
    case Moment::afterCheck: return "after it was checked";
    case Moment::afterListing: return "after it was listed";
    case Moment::afterVerification: return "after a copy in it was verified";
    case Moment::afterEarlierCopy: return "after an earlier copy's registration was withdrawn";
  }
  return "";
}

struct SwapCase {
  /// The folder swapped, relative to the temporary folder.
  std::string folder;
  Swap swap;
  Moment moment;
};

TEST_F(RetirementRacesTest, ABuildFolderSwappedAfterItWasListedIsNeverEntered) {
  const std::string build = "qrvx-browser-race";
  const std::string release = build + "/release";
  std::vector<SwapCase> cases;
  for (const std::string& folder : {build, release}) {
    for (Swap swap : {Swap::link, Swap::groupWritable}) {
      for (Moment moment : {Moment::afterTemporaryListing, Moment::afterCheck, Moment::afterListing,
                            Moment::afterVerification, Moment::afterEarlierCopy}) {
        cases.push_back({folder, swap, moment});
      }
    }
  }

  // Sealed once; a copy keeps its seal.
  std::map<std::string, std::string> sealed;
  for (const char* version : {"0.9", "1.0", "1.1", "1.2"}) {
    sealed[version] = bundle(std::string("sealed/") + version + "/Quorvane浏览器.app", version).path();
  }
  auto copy = [&](const std::string& version, const std::string& relative) {
    fs::create_directories(fs::path(root() + "/" + relative).parent_path());
    fs::copy(sealed.at(version), root() + "/" + relative,
             fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    return url(relative);
  };

  int number = 0;
  for (const SwapCase& c : cases) {
    const std::string name = "case " + std::to_string(++number);
    SCOPED_TRACE(name + ": " + c.folder +
                 (c.swap == Swap::link ? " becomes a link " : " opens to the group ") +
                 momentName(c.moment));
    startCase();
    const std::string temporary = root() + "/" + name + "/tmp";
    const std::string swapped = temporary + "/" + c.folder;
    const std::string elsewhere = root() + "/" + name + "/elsewhere";
    const std::string movedAway = root() + "/" + name + "/moved-away";
    fs::create_directories(temporary);
    for (const std::string& folder : {build, release, std::string("qrvx-browser-a")}) {
      fs::create_directories(temporary + "/" + folder);
      ::chmod((temporary + "/" + folder).c_str(), 0755);
    }
    const std::string relativeTemporary = name + "/tmp/";
    copy("1.0", relativeTemporary + build + "/Quorvane浏览器 1.0.app");
    copy("1.1", relativeTemporary + release + "/Quorvane浏览器.app");
    // Listed and retired first, and left alone by every swap.
    const FileURL control = copy("1.2", relativeTemporary + "qrvx-browser-a/Quorvane浏览器.app");
    // Older copies under the same names, for the link to lead to.
    if (c.folder == build) {
      copy("0.9", name + "/elsewhere/Quorvane浏览器 1.0.app");
      copy("0.9", name + "/elsewhere/release/Quorvane浏览器.app");
    } else {
      copy("0.9", name + "/elsewhere/Quorvane浏览器.app");
    }
    ::chmod(elsewhere.c_str(), 0755);

    const std::map<std::string, std::uint64_t> elsewhereBefore = copiesIn(elsewhere);
    const std::map<std::string, std::uint64_t> swappedBefore = copiesIn(swapped);
    std::optional<std::size_t> swappedAfterRun;
    auto swapNow = [&] {
      if (swappedAfterRun) return;
      swappedAfterRun = toolRuns_.size();
      if (c.swap == Swap::link) {
        fs::rename(swapped, movedAway);
        fs::create_directory_symlink(elsewhere, swapped);
      } else {
        ::chmod(swapped.c_str(), 0775);
      }
    };
    switch (c.moment) {
      case Moment::afterTemporaryListing:
        files_->afterListing_ = [&](const std::string& path) {
          if (path == temporary) swapNow();
        };
        break;
      case Moment::afterCheck:
        posix_.afterStatus_ = [&](const std::string& path) {
          if (path == swapped) swapNow();
        };
        break;
      case Moment::afterListing:
        files_->afterListing_ = [&](const std::string& path) {
          if (path == swapped) swapNow();
        };
        break;
      case Moment::afterVerification:
        afterTool_ = [&](const std::vector<std::string>& arguments) {
          if (arguments.at(0) == "--verify" && isInside(arguments.back(), swapped)) swapNow();
        };
        break;
      case Moment::afterEarlierCopy:
        afterTool_ = [&](const std::vector<std::string>& arguments) {
          if (arguments.at(0) == "-u" && arguments.back() == control.path()) swapNow();
        };
        break;
    }

    const std::vector<std::string> trashed = retireObsoleteCopies(temporary);

    ASSERT_TRUE(swappedAfterRun) << "the folder was never swapped";
    // A swapped subfolder takes nothing from the build folder above it.
    std::vector<std::string> expected{control.path()};
    if (c.folder == release) expected.push_back(temporary + "/" + build + "/Quorvane浏览器 1.0.app");
    EXPECT_EQ(trashed, expected);
    EXPECT_EQ(files_->trashRequests_, expected);
    for (std::size_t run = *swappedAfterRun; run < toolRuns_.size(); ++run) {
      const std::string& path = toolRuns_[run].back();
      for (const std::string& folder : {swapped, elsewhere, movedAway}) {
        EXPECT_FALSE(isInside(path, folder)) << toolRuns_[run].front() << " " << path;
      }
    }
    // What the link leads to, and what was swapped away, are all still there.
    EXPECT_EQ(copiesIn(elsewhere), elsewhereBefore);
    EXPECT_EQ(copiesIn(c.swap == Swap::link ? movedAway : swapped), swappedBefore);
  }
}

enum class Replaced {
  afterVerification,  ///< its signature check has just ended
  afterWithdrawal,    ///< its registration has just been withdrawn
};

TEST_F(RetirementRacesTest, ACopyReplacedAfterItWasVerifiedIsNeverTrashed) {
  const struct {
    const char* why;
    std::string copy;  ///< relative to the test's folder
    Replaced moment;
  } cases[] = {
      {"beside the installation, after its check", "home/Applications/Quorvane浏览器 1.0.app",
       Replaced::afterVerification},
      {"in a build folder, after its check", "tmp/qrvx-browser-r/Quorvane浏览器 1.0.app",
       Replaced::afterVerification},
      {"in a build folder's subfolder, after its check",
       "tmp/qrvx-browser-r/final/Quorvane浏览器.app", Replaced::afterVerification},
      {"beside the installation, after its withdrawal", "home/Applications/Quorvane浏览器 1.0.app",
       Replaced::afterWithdrawal},
      {"in a build folder, after its withdrawal", "tmp/qrvx-browser-r/Quorvane浏览器 1.0.app",
       Replaced::afterWithdrawal},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    startCase();
    fs::remove_all(root() + "/home/Applications");
    fs::remove_all(root() + "/tmp");
    fs::remove_all(root() + "/aside");
    for (const char* folder : {"tmp/qrvx-browser-r", "tmp/qrvx-browser-r/final"}) {
      fs::create_directories(root() + "/" + folder);
      ::chmod((root() + "/" + folder).c_str(), 0755);
    }
    const FileURL copy = bundle(c.copy, "1.0");
    // Another old copy, which nothing touches, is retired as usual.
    const FileURL other = bundle("home/Applications/Quorvane浏览器 0.5.app", "0.5");
    const std::string tool = c.moment == Replaced::afterVerification ? "--verify" : "-u";

    std::optional<std::uint64_t> replacementInode;
    afterTool_ = [&](const std::vector<std::string>& arguments) {
      if (replacementInode || arguments.front() != tool || arguments.back() != copy.path()) return;
      // The original is kept, so its inode cannot be handed to the replacement.
      fs::create_directories(root() + "/aside");
      fs::rename(copy.path(), root() + "/aside/original.app");
      fs::copy(root() + "/aside/original.app", copy.path(),
               fs::copy_options::recursive | fs::copy_options::copy_symlinks);
      replacementInode = inodeOf(copy.path());
    };

    const std::vector<std::string> trashed = retireObsoleteCopies(root() + "/tmp");

    ASSERT_TRUE(replacementInode) << "the copy was never replaced";
    EXPECT_EQ(trashed, (std::vector<std::string>{other.path()}));
    EXPECT_EQ(files_->trashRequests_, (std::vector<std::string>{other.path()}));
    EXPECT_EQ(inodeOf(copy.path()), *replacementInode);
    EXPECT_TRUE(fs::exists(root() + "/aside/original.app/Contents/Info.plist"));
    std::vector<std::string> expected;
    if (c.moment == Replaced::afterWithdrawal) {
      // Withdrawn while it was the copy; the replacement is not registered in its place.
      expected.push_back(registration("-u", copy));
    }
    expected.push_back(registration("-u", other));
    std::vector<std::string> registrations = tools_->registrations();
    std::sort(registrations.begin(), registrations.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(registrations, expected);
  }
}

}  // namespace
}  // namespace installer
