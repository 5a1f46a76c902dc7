#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "helper_process.h"
#include "scratch_tree.h"

namespace helpers_test {
namespace {

/// Runs lsregister with a home and data folder inside `scratch` only.
HelperOutcome lsregister(const ScratchDirectory& scratch, const std::vector<std::string>& arguments,
                         const std::string& dataHome = "") {
  std::vector<std::string> environment{"PATH=/usr/bin:/bin", "HOME=" + scratch / "home"};
  if (!dataHome.empty()) environment.push_back("XDG_DATA_HOME=" + dataHome);
  return runHelper("lsregister", arguments, environment);
}

/// A bundle running Contents/MacOS/Run, with more Info.plist `keys` in XML.
std::string makeBundle(const std::string& path, const std::string& keys = "") {
  writeFile(path + "/Contents/Info.plist",
            "<plist><dict><key>CFBundleExecutable</key><string>Run</string>" + keys + "</dict></plist>");
  return path;
}

std::vector<std::string> entriesOf(const std::string& dataHome) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& item : std::filesystem::directory_iterator(dataHome + "/applications", error))
    if (item.path().extension() == ".desktop") names.push_back(item.path().filename());
  return names;
}

/// The text of the one entry of a data home.
std::string entryOf(const std::string& dataHome) {
  std::vector<std::string> names = entriesOf(dataHome);
  return names.size() == 1 ? readFile(dataHome + "/applications/" + names[0]) : "";
}

std::string entryText(const std::string& name, const std::string& bundle, const std::string& extra = "") {
  return "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=\"" + bundle + "/Contents/MacOS/Run\" %U\n" +
         extra + "StartupNotify=false\nX-Quorvane-Bundle=" + bundle + "\n";
}

TEST(LsregisterTest, RegistryLivesInTheDataHome) {
  struct Case {
    std::string name;
    std::string dataHome;  // relative to the scratch folder; empty: unset
    std::string expectedFolder;
  };
  const std::vector<Case> cases = {{"XDG_DATA_HOME set", "data", "data"},
                                   {"XDG_DATA_HOME unset", "", "home/.local/share"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDirectory scratch;
    makeBundle(scratch / "A.app");
    HelperOutcome outcome =
        lsregister(scratch, {"-f", scratch / "A.app"}, c.dataHome.empty() ? "" : scratch / c.dataHome);
    ASSERT_EQ(outcome.status, 0) << outcome.standardError;
    EXPECT_EQ(entryOf(scratch / c.expectedFolder), entryText("A", scratch / "A.app"));
  }
  ScratchDirectory scratch;
  makeBundle(scratch / "A.app");
  ASSERT_EQ(lsregister(scratch, {"-f", scratch / "A.app"}, "relative/data").status, 0);
  EXPECT_EQ(entryOf(scratch / "home/.local/share"), entryText("A", scratch / "A.app"));
}

TEST(LsregisterTest, EntryDescribesTheBundle) {
  ScratchDirectory scratch;
  const std::string types =
      "<key>CFBundleURLTypes</key><array><dict><key>CFBundleURLSchemes</key><array><string>HTTPS</string>"
      "<string>no scheme</string></array></dict></array><key>CFBundleDocumentTypes</key><array><dict>"
      "<key>CFBundleTypeMIMETypes</key><array><string>text/html</string><string>no-type</string></array></dict></"
      "array>";
  const std::string icon = "<key>CFBundleIconFile</key><string>Icon.icns</string>";
  writeFile(scratch / "Web.app/Contents/Resources/Icon.png", "");
  // A link out of the bundle is no icon of its own; a display name wins over the short one.
  makeLink(scratch / "Web.app/Contents/Resources/Icon.png", scratch / "D.app/Contents/Resources/Icon.png");
  ASSERT_EQ(lsregister(scratch, {"-f", makeBundle(scratch / "Web.app", types + icon)}, scratch / "web").status, 0);
  EXPECT_EQ(entryOf(scratch / "web"), entryText("Web", scratch / "Web.app",
                                                "Icon=" + scratch / "Web.app/Contents/Resources/Icon.png\n"
                                                                    "MimeType=x-scheme-handler/https;text/html;\n"));
  const std::string names =
      "<key>CFBundleDisplayName</key><string>D 1</string><key>CFBundleName</key><string>D</string>";
  ASSERT_EQ(lsregister(scratch, {"-f", makeBundle(scratch / "D.app", names + icon)}, scratch / "d").status, 0);
  EXPECT_EQ(entryOf(scratch / "d"), entryText("D 1", scratch / "D.app"));
}

TEST(LsregisterTest, ForceAndWithdrawRoundTrip) {
  ScratchDirectory scratch;
  const std::string data = scratch / "data";
  const std::string first = makeBundle(scratch / "First 浏览器.app");
  const std::string awkward = makeBundle(scratch / "line\nfeed $\\ \"50%\".app");
  // Exec quoting, then the key file's escapes on top.
  const std::string awkwardExec =
      "Exec=\"" + scratch / "line\\nfeed \\\\$\\\\\\\\ \\\\\"50%%\\\\\".app/Contents/MacOS/Run\" %U\n";
  struct Step {
    std::vector<std::string> arguments;
    size_t entries;
    std::string oneEntryHolds;
  };
  const std::vector<Step> steps = {
      {{"-f", first}, 1, entryText("First 浏览器", first)},
      {{"-f", awkward}, 2, ""},
      {{"-f", first + "/"}, 2, ""},
      {{"-f", scratch / "./First 浏览器.app"}, 2, ""},
      {{"-u", first}, 1, awkwardExec},
      {{"-u", first}, 1, awkwardExec},
      {{"-u", awkward}, 0, ""},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.arguments[0] + " " + step.arguments[1]);
    HelperOutcome outcome = lsregister(scratch, step.arguments, data);
    ASSERT_EQ(outcome.status, 0) << outcome.standardError;
    EXPECT_EQ(entriesOf(data).size(), step.entries);
    EXPECT_NE(entryOf(data).find(step.oneEntryHolds), std::string::npos);
  }
}

TEST(LsregisterTest, RefusesWhatItCannotDo) {
  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string dataHome = "data";
  };
  ScratchDirectory scratch;
  const std::string bundle = makeBundle(scratch / "A.app");
  makeDirectory(scratch / "Unreadable.app/Contents");
  makeLink(bundle + "/Contents/Info.plist", scratch / "Linked.app/Contents/Info.plist");
  writeFile(scratch / "file", "");  // No folder can be made beneath it, even by root.
  const std::vector<Case> cases = {{{"-f", scratch / "missing.app"}, 1},
                                   {{"-u", scratch / "missing.app"}, 1},
                                   {{"-f", scratch / "file"}, 1},
                                   {{"-f", scratch / "Unreadable.app"}, 1},
                                   {{"-f", scratch / "Linked.app"}, 1},
                                   {{"-f", bundle}, 1, "file/d"},
                                   {{}, 2},
                                   {{"-f"}, 2},
                                   {{"-u"}, 2},
                                   {{"-x", scratch / "A.app"}, 2},
                                   {{"-f", scratch / "A.app", "extra"}, 2},
                                   {{"-f", ""}, 2},
                                   {{"-fu", scratch / "A.app"}, 2},
                                   {{scratch / "A.app"}, 2}};
  for (const Case& c : cases) {
    HelperOutcome outcome = lsregister(scratch, c.arguments, scratch / c.dataHome);
    EXPECT_EQ(outcome.status, c.status) << c.arguments.size() << (c.arguments.empty() ? "" : c.arguments.back());
    EXPECT_FALSE(outcome.standardError.empty());
  }
  EXPECT_FALSE(exists(scratch / "data"));
  EXPECT_EQ(lsregister(scratch, {"-u", scratch / "A.app"}, scratch / "data").status, 0);
  EXPECT_FALSE(exists(scratch / "data"));
}

TEST(LsregisterTest, ConcurrentRegistrationsKeepEveryEntry) {
  ScratchDirectory scratch;
  constexpr int count = 24;
  std::vector<HelperProcess> processes;
  for (int i = 0; i < count; ++i) {
    const std::string bundle = makeBundle(scratch / ("B" + std::to_string(i) + ".app"),
                                          "<key>CFBundleURLTypes</key><array><dict><key>CFBundleURLSchemes</key>"
                                          "<array><string>s" +
                                              std::to_string(i) + "</string></array></dict></array>");
    processes.emplace_back("lsregister", std::vector<std::string>{"-f", bundle},
                           std::vector<std::string>{"PATH=/usr/bin:/bin", "HOME=" + scratch / "home",
                                                    "XDG_DATA_HOME=" + scratch / "data"});
  }
  for (HelperProcess& process : processes) EXPECT_EQ(process.finish().status, 0);
  EXPECT_EQ(entriesOf(scratch / "data").size(), size_t{count});
  // No refresh of the MIME cache replaced a later one that saw more entries.
  if (!exists("/usr/bin/update-desktop-database")) GTEST_SKIP() << "update-desktop-database is not installed";
  const std::string cache = readFile(scratch / "data/applications/mimeinfo.cache");
  for (int i = 0; i < count; ++i)
    EXPECT_NE(cache.find("x-scheme-handler/s" + std::to_string(i) + "="), std::string::npos) << i;
}

}  // namespace
}  // namespace helpers_test
