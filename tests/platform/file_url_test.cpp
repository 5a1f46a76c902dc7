#include "platform/file_url.h"

#include <gtest/gtest.h>

#include <map>

namespace installer {
namespace {

struct PathCase {
  std::string input;
  std::string expected;
};

FileURL at(const std::string& path) { return FileURL::fromAbsolutePath(path); }

TEST(FileURLTest, FromPathJoinsRelativePathsAndDropsTrailingSeparators) {
  const std::string cwd = "/Users/李雷/下载";
  const std::vector<PathCase> cases = {
      {"", "/Users/李雷/下载"},
      {"Quorvane浏览器.app", "/Users/李雷/下载/Quorvane浏览器.app"},
      {"../My Apps/", "/Users/李雷/下载/../My Apps"},
      {"./x//y", "/Users/李雷/下载/./x//y"},
      {"/Applications/", "/Applications"},
      {"/Applications//", "/Applications"},
      {"/", "/"},
      {"//", "/"},
  };
  for (const PathCase& c : cases) {
    EXPECT_EQ(FileURL::fromPath(c.input, cwd).path(), c.expected) << c.input;
  }
  EXPECT_EQ(FileURL::fromPath("x", "/tmp/").path(), "/tmp/x");
  EXPECT_EQ(FileURL::fromPath("x", "/").path(), "/x");
  EXPECT_EQ(FileURL::fromPath("x", "").path(), "/x");
}

TEST(FileURLTest, LastPathComponentAndParent) {
  struct Case {
    std::string path, last, parent;
  };
  const std::vector<Case> cases = {
      {"/", "/", "/"},
      {"/a", "a", "/"},
      {"/a/b/", "b", "/a"},
      {"/a//b", "b", "/a"},
      {"/Applications/Quorvane浏览器 2.0.app", "Quorvane浏览器 2.0.app", "/Applications"},
      // The parent of a "." or ".." location is one level further up.
      {"/a/b/..", "..", "/a/b/../.."},
      {"/a/.", ".", "/a/./.."},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(at(c.path).lastPathComponent(), c.last) << c.path;
    EXPECT_EQ(at(c.path).deletingLastPathComponent().path(), c.parent) << c.path;
  }
}

TEST(FileURLTest, AppendingPathComponentUsesOneSeparator) {
  struct Case {
    std::string base, component, expected;
  };
  const std::vector<Case> cases = {
      {"/", "x", "/x"},
      {"/a", "b", "/a/b"},
      {"/a", "/b", "/a/b"},
      {"/a", "b/", "/a/b"},
      {"/a", "b/c d", "/a/b/c d"},
      {"/Applications", "Quorvane浏览器.app/Contents/", "/Applications/Quorvane浏览器.app/Contents"},
      {"/a", "", "/a"},
      {"/a", "//", "/a"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(at(c.base).appendingPathComponent(c.component).path(), c.expected)
        << c.base << " + " << c.component;
  }
}

TEST(FileURLTest, PathExtensionAndDeletingIt) {
  struct Case {
    std::string path, extension, withoutExtension;
  };
  const std::vector<Case> cases = {
      {"/Applications/Quorvane浏览器 2.0.app", "app", "/Applications/Quorvane浏览器 2.0"},
      {"/Applications/Quorvane浏览器 2.0", "0", "/Applications/Quorvane浏览器 2"},
      {"/a/archive.tar.gz/", "gz", "/a/archive.tar"},
      {"/a/.hidden", "", "/a/.hidden"},
      {"/a/..hidden", "", "/a/..hidden"},
      {"/a/name.", "", "/a/name."},
      {"/a/name.has space", "", "/a/name.has space"},
      {"/a/name.\xE2\x80\xAE" "ppa", "", "/a/name.\xE2\x80\xAE" "ppa"},
      {"/a.d/b", "", "/a.d/b"},
      {"/", "", "/"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(at(c.path).pathExtension(), c.extension) << c.path;
    EXPECT_EQ(at(c.path).deletingPathExtension().path(), c.withoutExtension) << c.path;
  }
}

TEST(FileURLTest, PathComponentsAndStandardizing) {
  struct Case {
    std::string path;
    std::vector<std::string> components;
    std::string standardized;
  };
  const std::vector<Case> cases = {
      {"/", {"/"}, "/"},
      {"/a//b/", {"/", "a", "b"}, "/a/b"},
      {"/a/./b/../c", {"/", "a", ".", "b", "..", "c"}, "/a/c"},
      {"/..", {"/", ".."}, "/"},
      {"/../../a", {"/", "..", "..", "a"}, "/a"},
      {"/a/b/..", {"/", "a", "b", ".."}, "/a"},
      {"/用户/李雷/./..", {"/", "用户", "李雷", ".", ".."}, "/用户"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(at(c.path).pathComponents(), c.components) << c.path;
    EXPECT_EQ(at(c.path).standardized().path(), c.standardized) << c.path;
  }
}

TEST(FileURLTest, ExpandingTildeInPath) {
  const std::map<std::string, std::string> homes = {{"lilei", "/Users/lilei/"}, {"root", "/"}};
  const auto homeOfUser = [&](const std::string& name) -> std::optional<std::string> {
    const auto found = homes.find(name);
    if (found == homes.end()) return std::nullopt;
    return found->second;
  };
  struct Case {
    std::string path, home, expected;
  };
  const std::vector<Case> cases = {
      {"~", "/Users/韩梅梅", "/Users/韩梅梅"},
      {"~/", "/Users/韩梅梅/", "/Users/韩梅梅"},
      {"~/Applications", "/Users/韩梅梅/", "/Users/韩梅梅/Applications"},
      {"~lilei", "/h", "/Users/lilei"},
      {"~lilei/Applications/", "/h", "/Users/lilei/Applications"},
      {"~root/x", "/h", "/x"},
      {"~nobody/x", "/h", "~nobody/x"},
      {"~/x", "", "~/x"},
      {"/a/~/b", "/h", "/a/~/b"},
      {"relative/~", "/h", "relative/~"},
      {"", "/h", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(expandingTildeInPath(c.path, c.home, homeOfUser), c.expected) << c.path;
  }
  EXPECT_EQ(expandingTildeInPath("~lilei/x", "/h", nullptr), "~lilei/x");
}

TEST(FileURLTest, ParseURLStringAcceptsURLs) {
  struct Case {
    std::string text, scheme, host, path;
  };
  const std::vector<Case> cases = {
      {"file:///Applications/Quorvane%E6%B5%8F%E8%A7%88%E5%99%A8%201.2.app/", "file", "",
       "/Applications/Quorvane浏览器 1.2.app"},
      {"file://localhost/Applications", "file", "localhost", "/Applications"},
      {"FILE:///", "file", "", "/"},
      {"file:/a/b", "file", "", "/a/b"},
      {"file:///a/../b//", "file", "", "/a/../b"},
      {"file:///a%2Fb?x=1#frag", "file", "", "/a/b"},
      {"https://user@Example.com:8443/p/?q", "https", "Example.com", "/p"},
      {"x-custom+1.0:opaque", "x-custom+1.0", "", "opaque"},
  };
  for (const Case& c : cases) {
    const std::optional<ParsedURL> parsed = parseURLString(c.text);
    ASSERT_TRUE(parsed.has_value()) << c.text;
    EXPECT_EQ(parsed->scheme, c.scheme) << c.text;
    EXPECT_EQ(parsed->host, c.host) << c.text;
    EXPECT_EQ(parsed->path, c.path) << c.text;
  }
}

TEST(FileURLTest, ParseURLStringRejectsNonURLs) {
  const std::vector<std::string> cases = {
      "", "/Applications/x.app", "Applications", "1file:///a", ":///a", "fi le:///a",
      "file:///a b", "file:///a\tb", "file:///Quorvane浏览器.app", "file:///a\"b", "file:///a<b",
      "file:///a>b", "file:///a\\b", "file:///a^b", "file:///a`b", "file:///a{b", "file:///a|b",
      "file:///a}b", "file:///a%G1", "file:///a%4", "file:///a%", "file:///a%00b",
      "file:///a%FF", "file://localhost", "file:relative/path", "http://h%00st/",
  };
  for (const std::string& text : cases) {
    EXPECT_FALSE(parseURLString(text).has_value()) << text;
  }
}

}  // namespace
}  // namespace installer
