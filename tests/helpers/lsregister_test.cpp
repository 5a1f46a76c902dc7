#include <gtest/gtest.h>

#include <algorithm>
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

using Entries = std::vector<std::string>;

/// The text of each desktop entry of a data home, sorted.
Entries entriesOf(const std::string& dataHome) {
  std::vector<std::string> entries;
  std::error_code error;
  for (const auto& item : std::filesystem::directory_iterator(dataHome + "/applications", error))
    if (item.path().extension() == ".desktop") entries.push_back(readFile(item.path()));
  std::sort(entries.begin(), entries.end());
  return entries;
}

std::string entryText(const std::string& name, const std::string& bundle, const std::string& extra = "",
                      const std::string& exec = "") {
  return "[Desktop Entry]\nType=Application\nName=" + name +
         "\nExec=" + (exec.empty() ? "\"" + bundle + "/Contents/MacOS/Run\"" : exec) + " %U\n" + extra +
         "StartupNotify=false\nX-Quorvane-Bundle=" + bundle + "\n";
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
    HelperOutcome outcome = lsregister(scratch, {"-f", scratch / "A.app"}, c.dataHome.empty() ? "" : scratch / c.dataHome);
    ASSERT_EQ(outcome.status, 0) << outcome.standardError;
    EXPECT_EQ(entriesOf(scratch / c.expectedFolder), Entries{entryText("A", scratch / "A.app")});
  }
  ScratchDirectory scratch;
  makeBundle(scratch / "A.app");
  ASSERT_EQ(lsregister(scratch, {"-f", scratch / "A.app"}, "relative/data").status, 0);
  EXPECT_EQ(entriesOf(scratch / "home/.local/share"), Entries{entryText("A", scratch / "A.app")});
}

TEST(LsregisterTest, ForceAndWithdrawRoundTrip) {
  ScratchDirectory scratch;
  const std::string data = scratch / "data";
  const std::string first = makeBundle(
      scratch / "First 浏览器.app",
      "<key>CFBundleURLTypes</key><array><dict><key>CFBundleURLSchemes</key><array><string>HTTPS</string>"
      "<string>no scheme</string></array></dict></array><key>CFBundleDocumentTypes</key><array><dict><key>"
      "CFBundleTypeMIMETypes</key><array><string>text/html</string><string>no-type</string></array></dict></array>"
      "<key>CFBundleIconFile</key><string>Icon.icns</string><key>CFBundleDisplayName</key><string>Shown</string>");
  writeFile(first + "/Contents/Resources/Icon.png", "");
  const std::string awkward = makeBundle(scratch / "line\nfeed $\\ \"50%\".app");
  const std::string firstEntry = entryText("Shown", first,
                                           "Icon=" + first +
                                               "/Contents/Resources/Icon.png\n"
                                               "MimeType=x-scheme-handler/https;text/html;\n");
  // Exec quoting, then the key file's escapes on top.
  const std::string awkwardEntry =
      entryText("line\\nfeed $\\\\ \"50%\"", scratch / "line\\nfeed $\\\\ \"50%\".app", "",
                "\"" + scratch / "line\\nfeed \\\\$\\\\\\\\ \\\\\"50%%\\\\\".app/Contents/MacOS/Run\"");
  struct Step {
    std::vector<std::string> arguments;
    Entries entries;
  };
  const std::vector<Step> steps = {
      {{"-f", first}, {firstEntry}},
      {{"-f", awkward}, {firstEntry, awkwardEntry}},
      {{"-f", first + "/"}, {firstEntry, awkwardEntry}},
      {{"-f", scratch / "./First 浏览器.app"}, {firstEntry, awkwardEntry}},
      {{"-u", first}, {awkwardEntry}},
      {{"-u", first}, {awkwardEntry}},
      {{"-u", awkward}, {}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.arguments[0] + " " + step.arguments[1]);
    HelperOutcome outcome = lsregister(scratch, step.arguments, data);
    ASSERT_EQ(outcome.status, 0) << outcome.standardError;
    EXPECT_EQ(entriesOf(data), step.entries);
  }
}

TEST(LsregisterTest, RefusesWhatItCannotDo) {
  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string dataHome = "data";
  };
  ScratchDirectory scratch;
  makeBundle(scratch / "A.app");
  writeFile(scratch / "file", "");  // No folder can be made beneath it, even by root.
  const std::vector<Case> cases = {
      {{"-f", scratch / "missing.app"}, 1}, {{}, 2}, {{"-f"}, 2}, {{"-u"}, 2}, {{"-x", scratch / "A.app"}, 2},
      {{"-f", scratch / "A.app", "extra"}, 2}, {{"-f", ""}, 2}, {{"-fu", scratch / "A.app"}, 2},
      {{scratch / "A.app"}, 2}};
  const std::vector<Case> refusals = {
      {{"-u", scratch / "missing.app"}, 1}, {{"-f", scratch / "file"}, 1}, {{"-f", scratch / "A.app"}, 1, "file/data"}};
  for (const Case& c : cases) {
    HelperOutcome outcome = lsregister(scratch, c.arguments, scratch / "data");
    EXPECT_EQ(outcome.status, c.status) << c.arguments.size();
    EXPECT_FALSE(outcome.standardError.empty());
  }
  for (const Case& c : refusals) EXPECT_EQ(lsregister(scratch, c.arguments, scratch / c.dataHome).status, 1);
  EXPECT_FALSE(exists(scratch / "data"));
  EXPECT_EQ(lsregister(scratch, {"-u", scratch / "A.app"}, scratch / "data").status, 0);
  EXPECT_FALSE(exists(scratch / "data"));
}

TEST(LsregisterTest, ConcurrentRegistrationsKeepEveryEntry) {
  ScratchDirectory scratch;
  constexpr int count = 24;
  std::vector<HelperProcess> processes;
  for (int i = 0; i < count; ++i) {
    const std::string bundle = makeBundle(scratch / ("B" + std::to_string(i) + ".app"));
    processes.emplace_back("lsregister", std::vector<std::string>{"-f", bundle},
                           std::vector<std::string>{"HOME=" + scratch / "home", "XDG_DATA_HOME=" + scratch / "data"});
  }
  for (HelperProcess& process : processes) EXPECT_EQ(process.finish().status, 0);
  EXPECT_EQ(entriesOf(scratch / "data").size(), size_t{count});
}

}  // namespace
}  // namespace helpers_test
