#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "helper_process.h"
#include "scratch_tree.h"

namespace fs = std::filesystem;

namespace helpers_test {
namespace {

bool supportsUserAttributes(const std::string& directory) {
  const std::string probe = directory + "/xattr-probe";
  writeFile(probe, "");
  bool supported = ::setxattr(probe.c_str(), "user.probe", "1", 1, 0) == 0;
  fs::remove(probe);
  return supported;
}

void setTimes(const std::string& path, long seconds, long nanoseconds) {
  const struct timespec times[2] = {{seconds, nanoseconds}, {seconds + 7, nanoseconds + 1}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

/// A tree of every kind of entry the copy keeps, with odd modes, names and
/// nanosecond times; directory times are set last, as nothing touches them after.
std::string makeSourceTree(const ScratchDirectory& scratch, bool withAttributes) {
  const std::string root = scratch / "Source 浏览器.app";
  writeFile(root + "/Contents/MacOS/run", "#!/bin/sh\n", 04755);
  // Read-only once its attribute is set: only root may set one on a file it cannot write.
  writeFile(root + "/Contents/Resources/secret", "only mine", 0600);
  writeFile(root + "/Contents/Resources/empty", "", 0640);
  writeFile(root + "/Contents/Resources/line\nfeed 中文", "odd name");
  std::string large(3 << 20, '\0');
  for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>((i * 2654435761u) >> 13);
  writeFile(root + "/Contents/Resources/large.bin", large);
  makeLink("../MacOS/run", root + "/Contents/Resources/run link");
  makeLink("nowhere/at/all", root + "/Contents/Resources/dangling");
  ::mkfifo((root + "/Contents/Resources/pipe").c_str(), 0620);
  writeFile(root + "/Contents/Locked/inside", "in a read-only folder");
  if (withAttributes) {
    ::setxattr((root + "/Contents/Resources/secret").c_str(), "user.origin", "test\0bytes", 10, 0);
    ::setxattr((root + "/Contents").c_str(), "user.folder", "yes", 3, 0);
  }
  ::chmod((root + "/Contents/Resources/secret").c_str(), 0400);
  long seconds = 1'500'000'000;
  for (const char* leaf : {"/Contents/MacOS/run", "/Contents/Resources/secret", "/Contents/Resources/empty",
                           "/Contents/Resources/large.bin", "/Contents/Resources/run link",
                           "/Contents/Resources/dangling", "/Contents/Resources/pipe", "/Contents/Locked/inside"})
    setTimes(root + leaf, seconds += 1000, 123'456'789);
  ::chmod((root + "/Contents/Locked").c_str(), 0555);
  for (const char* folder : {"/Contents/MacOS", "/Contents/Resources", "/Contents/Locked", "/Contents", ""})
    setTimes(root + folder, seconds += 1000, 987'654'321);
  return root;
}

std::vector<std::string> attributeList(const std::string& path) {
  std::vector<std::string> attributes;
  char names[4096];
  ssize_t length = ::llistxattr(path.c_str(), names, sizeof names);
  for (ssize_t offset = 0; offset < length; offset += std::strlen(names + offset) + 1) {
    char value[4096];
    ssize_t size = ::lgetxattr(path.c_str(), names + offset, value, sizeof value);
    attributes.push_back(std::string(names + offset) + "=" + std::string(value, size > 0 ? size : 0));
  }
  std::sort(attributes.begin(), attributes.end());
  return attributes;
}

/// Each entry's status, by relative path ("" for the root), taken before a
/// copy reads the tree and so moves its access times.
using TreeStatus = std::map<std::string, struct stat>;

TreeStatus statusOfTree(const std::string& root) {
  // Listing reads the directories, which moves their access times: list first.
  std::vector<std::string> relatives{""};
  for (const auto& entry : fs::recursive_directory_iterator(root))
    relatives.push_back(entry.path().lexically_relative(root).string());
  TreeStatus tree;
  for (const std::string& relative : relatives)
    ::lstat((relative.empty() ? root : root + "/" + relative).c_str(), &tree[relative]);
  return tree;
}

/// Every way `copy` differs from `original` as it was when `before` was taken.
std::vector<std::string> differences(const std::string& original, const TreeStatus& before,
                                     const std::string& copy) {
  std::vector<std::string> found;
  for (const auto& [relative, a] : before) {
    const std::string from = relative.empty() ? original : original + "/" + relative;
    const std::string to = relative.empty() ? copy : copy + "/" + relative;
    struct stat b;
    if (::lstat(to.c_str(), &b) != 0) {
      found.push_back(relative + ": missing");
      continue;
    }
    auto check = [&](bool same, const char* what) {
      if (!same) found.push_back(relative + ": " + what);
    };
    check(a.st_mode == b.st_mode, "mode");
    check(a.st_uid == b.st_uid && a.st_gid == b.st_gid, "owner");
    check(a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec, "modification time");
    check(a.st_atim.tv_sec == b.st_atim.tv_sec && a.st_atim.tv_nsec == b.st_atim.tv_nsec, "access time");
    check(attributeList(from) == attributeList(to), "extended attributes");
    if (S_ISREG(a.st_mode)) check(readFile(from) == readFile(to), "content");
    if (S_ISLNK(a.st_mode)) check(fs::read_symlink(from) == fs::read_symlink(to), "link target");
  }
  if (statusOfTree(copy).size() != before.size()) found.push_back("entry count differs");
  return found;
}

TEST(CpTest, CopyKeepsEverythingWhateverTheFlagGrouping) {
  const std::vector<std::vector<std::string>> flagSets = {
      {"-cRpP"}, {"-c", "-R", "-p", "-P"}, {"-RpP"}, {"-Rp", "-cP"}, {"-cRpP", "--"}};
  for (const auto& flags : flagSets) {
    SCOPED_TRACE(flags.front());
    ScratchDirectory scratch;
    const std::string source = makeSourceTree(scratch, supportsUserAttributes(scratch.path()));
    const TreeStatus before = statusOfTree(source);
    std::vector<std::string> arguments = flags;
    arguments.push_back(source);
    arguments.push_back(scratch / "Copy.app");
    HelperOutcome outcome = runHelper("cp", arguments);
    ASSERT_EQ(outcome.status, 0) << outcome.standardError;
    EXPECT_EQ(outcome.standardError, "");
    EXPECT_EQ(differences(source, before, scratch / "Copy.app"), std::vector<std::string>{});
  }
}

TEST(CpTest, CopiesUserExtendedAttributes) {
  ScratchDirectory scratch;
  if (!supportsUserAttributes(scratch.path())) GTEST_SKIP() << "no user.* extended attributes here";
  const std::string source = makeSourceTree(scratch, true);
  ASSERT_EQ(runHelper("cp", {"-cRpP", source, scratch / "Copy.app"}).status, 0);
  EXPECT_EQ(attributeList(scratch / "Copy.app/Contents/Resources/secret"),
            std::vector<std::string>{std::string("user.origin=test\0bytes", 22)});
  EXPECT_EQ(attributeList(scratch / "Copy.app/Contents"), std::vector<std::string>{"user.folder=yes"});
}

TEST(CpTest, CopiesIntoAnExistingDirectoryUnderTheSourceName) {
  struct Case {
    std::string source;
    std::string expected;
  };
  ScratchDirectory scratch;
  makeSourceTree(scratch, false);
  makeDirectory(scratch / "Target");
  makeLink("target", scratch / "file link");
  const std::vector<Case> cases = {{scratch / "Source 浏览器.app", "Target/Source 浏览器.app"},
                                   {scratch / "Source 浏览器.app/Contents/", "Target/Contents"},
                                   {scratch / "file link", "Target/file link"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    HelperOutcome outcome = runHelper("cp", {"-cRpP", c.source, scratch / "Target/"});
    ASSERT_EQ(outcome.status, 0) << outcome.standardError;
    EXPECT_TRUE(exists(scratch / c.expected));
  }
  EXPECT_EQ(fs::read_symlink(scratch / "Target/file link"), "target");
}

TEST(CpTest, FailedCopiesLeaveNothingBehind) {
  struct Case {
    std::string name;
    std::function<std::vector<std::string>(const ScratchDirectory&, const std::string& source)> prepare;
    std::string absent;
    int status;
  };
  const std::vector<Case> cases = {
      {"missing source", [](auto& s, auto&) { return std::vector<std::string>{"-cRpP", s / "none", s / "Copy"}; },
       "Copy", 1},
      {"source inside a file",
       [](auto&, auto& source) {
         return std::vector<std::string>{"-cRpP", source + "/Contents/MacOS/run/x", source + "/../Copy"};
       },
       "Copy", 1},
      {"socket in the tree",
       [](auto& s, auto& source) {
         int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
         sockaddr_un address{};
         address.sun_family = AF_UNIX;
         std::string path = source + "/Contents/Resources/zz.sock";
         std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
         EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << std::strerror(errno);
         ::close(fd);
         return std::vector<std::string>{"-cRpP", source, s / "Copy"};
       },
       "Copy", 1},
      {"copy into itself",
       [](auto&, auto& source) { return std::vector<std::string>{"-cRpP", source, source + "/Contents/Copy"}; },
       "Source 浏览器.app/Contents/Copy", 1},
      {"missing flags", [](auto& s, auto& source) { return std::vector<std::string>{"-cR", source, s / "Copy"}; },
       "Copy", 2},
      {"unknown flag", [](auto& s, auto& source) { return std::vector<std::string>{"-cRpPL", source, s / "Copy"}; },
       "Copy", 2},
      {"one operand", [](auto&, auto& source) { return std::vector<std::string>{"-cRpP", source}; }, "Copy", 2},
      {"three operands",
       [](auto& s, auto& source) { return std::vector<std::string>{"-cRpP", source, source, s / "Copy"}; }, "Copy", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDirectory scratch;
    const std::string source = makeSourceTree(scratch, false);
    HelperOutcome outcome = runHelper("cp", c.prepare(scratch, source));
    EXPECT_EQ(outcome.status, c.status);
    EXPECT_FALSE(outcome.standardError.empty());
    EXPECT_FALSE(exists(scratch / c.absent));
  }
}

TEST(CpTest, NeverReplacesWhatExists) {
  struct Case {
    std::string name;
    std::function<void(const ScratchDirectory&)> occupy;
    std::string destination;
    std::string witness;
  };
  const std::vector<Case> cases = {
      {"destination is a file", [](auto& s) { writeFile(s / "Copy", "mine"); }, "Copy", "Copy"},
      {"name taken in the destination folder",
       [](auto& s) { writeFile(s / "Target/Source 浏览器.app/keep", "mine"); }, "Target",
       "Target/Source 浏览器.app/keep"},
      {"destination is a dangling link", [](auto& s) { makeLink("gone", s / "Copy"); }, "Copy", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDirectory scratch;
    const std::string source = makeSourceTree(scratch, false);
    c.occupy(scratch);
    HelperOutcome outcome = runHelper("cp", {"-cRpP", source, scratch / c.destination});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.standardError.find("File exists"), std::string::npos) << outcome.standardError;
    if (!c.witness.empty()) {
      EXPECT_EQ(readFile(scratch / c.witness), "mine");
    }
    EXPECT_FALSE(exists(scratch / c.destination + "/Contents"));
  }
}

}  // namespace
}  // namespace helpers_test
