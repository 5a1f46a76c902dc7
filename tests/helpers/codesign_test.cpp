#include <gtest/gtest.h>
#include <plist/plist.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "helper_process.h"
#include "scratch_tree.h"

namespace helpers_test {
namespace {

const std::string awkwardName = "new\nline \"quoted\" -dash 浏览器";
const std::string innerFramework = "Contents/Frameworks/Inner.framework";
const std::string innermostApp = innerFramework + "/Contents/Helpers/Deep.app";

/// A bundle with odd names, links, an empty folder and two levels of nested bundles.
std::string makeBundle(const ScratchDirectory& scratch) {
  const std::string bundle = scratch / "Sample 浏览器.app";
  writeFile(bundle + "/Contents/Info.plist", "<plist/>");
  writeFile(bundle + "/Contents/MacOS/Sample", "#!/bin/sh\n", 0755);
  writeFile(bundle + "/Contents/Resources/" + awkwardName, "awkward");
  writeFile(bundle + "/Contents/Resources/中文/说明.txt", "text");
  writeFile(bundle + "/Contents/Resources/-rf --deep", "dashes");
  makeDirectory(bundle + "/Contents/Resources/empty");
  makeLink("../MacOS/Sample", bundle + "/Contents/Resources/current");
  writeFile(bundle + "/" + innerFramework + "/Contents/Resources/data", "framework data");
  writeFile(bundle + "/" + innermostApp + "/Contents/MacOS/Deep", "deep", 0755);
  return bundle;
}

HelperOutcome sign(const std::string& bundle) { return runHelper("codesign", {"-s", "-", "-f", "--deep", bundle}); }
HelperOutcome verify(const std::string& bundle) {
  return runHelper("codesign", {"--verify", "--deep", "--strict", bundle});
}

/// Rewrites the bundle's seal with the first `from` replaced by `to`.
void editSeal(const std::string& bundle, const std::string& from, const std::string& to) {
  const std::string path = bundle + "/Contents/_CodeSignature/CodeResources";
  std::string document = readFile(path);
  const std::size_t at = document.find(from);
  ASSERT_NE(at, std::string::npos);
  writeFile(path, document.replace(at, from.size(), to));
}

/// Rewrites the bundle's seal as a binary property list.
void makeSealBinary(const std::string& bundle) {
  const std::string path = bundle + "/Contents/_CodeSignature/CodeResources";
  const std::string xml = readFile(path);
  plist_t root = nullptr;
  plist_from_xml(xml.data(), xml.size(), &root);
  char* bytes = nullptr;
  uint32_t length = 0;
  plist_to_bin(root, &bytes, &length);
  plist_free(root);
  writeFile(path, std::string(bytes, length));
  plist_to_bin_free(bytes);
}

/// A new Ed25519 key at `path`, and its fingerprint as -R=publisher: takes it.
std::string makeKey(const std::string& path) {
  std::FILE* pipe = ::popen(("openssl genpkey -algorithm ed25519 -out '" + path + "' && openssl pkey -in '" + path +
                             "' -pubout -outform DER | tail -c 32 | sha256sum")
                                .c_str(),
                            "r");
  char digits[65] = {};
  EXPECT_EQ(std::fread(digits, 1, 64, pipe), 64u);
  ::pclose(pipe);
  return digits;
}

void expectOneLine(const std::string& text) {
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.find('\n'), text.size() - 1) << text;
}

TEST(CodesignTest, SealedBundleVerifiesWithEveryOptionOrder) {
  ScratchDirectory scratch;
  const std::string bundle = makeBundle(scratch);
  HelperOutcome signing = sign(bundle);
  ASSERT_EQ(signing.status, 0) << signing.standardError;
  const std::vector<std::vector<std::string>> commandLines = {
      {"--verify", "--deep", "--strict", bundle}, {"--strict", "--deep", "--verify", bundle},
      {"--verify", bundle}, {"-v", "--deep", bundle}, {"--verify", "--", bundle}};
  for (const auto& arguments : commandLines) {
    HelperOutcome outcome = runHelper("codesign", arguments);
    EXPECT_EQ(outcome.status, 0) << arguments.front() << ": " << outcome.standardError;
  }
  EXPECT_TRUE(exists(bundle + "/" + innermostApp + "/Contents/_CodeSignature/CodeResources"));
  EXPECT_TRUE(exists(bundle + "/" + innerFramework + "/Contents/_CodeSignature/CodeResources"));
}

/// The seal is a property list a reader of ours can open, keyed by relative UTF-8 paths.
TEST(CodesignTest, SealRecordsRelativePathsAndStopsAtNestedBundles) {
  ScratchDirectory scratch;
  const std::string bundle = makeBundle(scratch);
  ASSERT_EQ(sign(bundle).status, 0);
  const std::string document = readFile(bundle + "/Contents/_CodeSignature/CodeResources");
  ASSERT_EQ(document.rfind("<?xml", 0), 0u);
  plist_t root = nullptr;
  plist_from_xml(document.data(), document.size(), &root);
  ASSERT_NE(root, nullptr);
  plist_t files = plist_dict_get_item(root, "files");
  ASSERT_NE(files, nullptr);
  struct Expectation {
    std::string key;
    bool present;
  };
  const std::vector<Expectation> expectations = {
      {"Contents/Resources/" + awkwardName, true},  {"Contents/Resources/中文/说明.txt", true},
      {"Contents/Resources/empty", true},           {"Contents/Resources/-rf --deep", true},           {"Contents/Resources/current", true},
      {innerFramework, true},                       {innerFramework + "/Contents/Resources/data", false},
      {"Contents/_CodeSignature/CodeResources", false}};
  for (const auto& expectation : expectations)
    EXPECT_EQ(plist_dict_get_item(files, expectation.key.c_str()) != nullptr, expectation.present)
        << expectation.key;
  plist_free(root);
}

TEST(CodesignTest, VerificationRefusesEveryDifference) {
  struct Case {
    std::string name;
    std::function<void(const std::string&)> change;
    std::string reported;
  };
  const std::string resources = "/Contents/Resources/";
  const std::vector<Case> cases = {
      // Refused by its size alone: hashing 16 GB of holes would report a changed content.
      {"file made sparse and huge",
       [&](const std::string& b) { ASSERT_EQ(::truncate((b + resources + awkwardName).c_str(), 16LL << 30), 0); },
       "size changed from 7 to 17179869184"},
      {"content changed, same size", [&](const std::string& b) { writeFile(b + resources + awkwardName, "AWKWARD"); },
       "content changed"},
      {"file added", [&](const std::string& b) { writeFile(b + resources + "extra", ""); }, "file added"},
      // A C1 control (CSI) and a byte that is no UTF-8 are shown escaped, never raw.
      {"file with a terminal-driving name added",
       [&](const std::string& b) {
         writeFile(b + resources +
                       "\xc2\x9b"
                       "2J\xff",
                   "");
       },
       "Resources/\\xc2\\x9b2J\\xff: file added"},
      {"dashed file changed", [&](const std::string& b) { writeFile(b + resources + "-rf --deep", "DASHES"); },
       "-rf --deep: content changed"},
      {"file removed", [&](const std::string& b) { std::filesystem::remove(b + resources + "中文/说明.txt"); },
       "file removed"},
      {"empty directory added", [&](const std::string& b) { makeDirectory(b + resources + "new folder"); },
       "directory added"},
      {"empty directory removed", [&](const std::string& b) { std::filesystem::remove(b + resources + "empty"); },
       "directory removed"},
      {"file mode changed", [&](const std::string& b) { ::chmod((b + "/Contents/MacOS/Sample").c_str(), 0700); },
       "mode changed from 0755 to 0700"},
      {"directory mode changed", [&](const std::string& b) { ::chmod((b + resources + "中文").c_str(), 0775); },
       "mode changed"},
      {"link target changed",
       [&](const std::string& b) {
         std::filesystem::remove(b + resources + "current");
         makeLink("../Info.plist", b + resources + "current");
       },
       "symbolic link target changed"},
      {"file replaced by a link",
       [&](const std::string& b) {
         std::filesystem::remove(b + "/Contents/Info.plist");
         makeLink("MacOS/Sample", b + "/Contents/Info.plist");
       },
       "was a file, now a symbolic link"},
      {"nested bundle file changed",
       [&](const std::string& b) { writeFile(b + "/" + innerFramework + "/Contents/Resources/data", "tampered"); },
       "Inner.framework/Contents/Resources/data: size changed"},
      {"innermost bundle file added",
       [&](const std::string& b) { writeFile(b + "/" + innermostApp + "/Contents/MacOS/extra", "x"); },
       "Deep.app/Contents/MacOS/extra: file added"},
      {"nested seal removed",
       [&](const std::string& b) {
         std::filesystem::remove(b + "/" + innerFramework + "/Contents/_CodeSignature/CodeResources");
       },
       "nested bundle not signed at all"},
      {"nested bundle re-sealed after a change",
       [&](const std::string& b) {
         writeFile(b + "/" + innerFramework + "/Contents/Resources/data", "tampered");
         ASSERT_EQ(runHelper("codesign", {"-s", "-", "-f", b + "/" + innerFramework}).status, 0);
       },
       "seal of the nested bundle changed"},
      {"seal removed",
       [&](const std::string& b) { std::filesystem::remove(b + "/Contents/_CodeSignature/CodeResources"); },
       "not signed at all"},
      {"seal garbled", [&](const std::string& b) { writeFile(b + "/Contents/_CodeSignature/CodeResources", "<plist"); },
       "seal unreadable"},
      // libplist reads a binary key cut at a NUL and keeps both of two equal keys.
      {"binary seal names a file with a NUL",
       [&](const std::string& b) {
         makeSealBinary(b);
         editSeal(b,
                  "\x5F\x10\x13"
                  "Contents/Info.plist",
                  std::string("\x5F\x10\x13"
                              "Contents/Info\0plist",
                              22));
       },
       "seal unreadable"},
      {"binary seal names a file twice",
       [&](const std::string& b) {
         makeSealBinary(b);
         editSeal(b,
                  "\x5F\x10\x13"
                  "Contents/Frameworks",
                  "\x5F\x10\x13"
                  "Contents/Info.plist");
       },
       "seal unreadable"},
      {"file slipped beside the seal",
       [&](const std::string& b) { writeFile(b + "/Contents/_CodeSignature/extra", "x"); }, "file added"},
      {"bundle mode changed", [&](const std::string& b) { ::chmod(b.c_str(), 0700); }, "mode changed"},
      {"FIFO added", [&](const std::string& b) { ASSERT_EQ(::mkfifo((b + resources + "fifo").c_str(), 0600), 0); },
       "fifo: not a file, directory or symbolic link"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDirectory scratch;
    const std::string bundle = makeBundle(scratch);
    ASSERT_EQ(sign(bundle).status, 0);
    c.change(bundle);
    HelperOutcome outcome = verify(bundle);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.standardError.find(c.reported), std::string::npos) << outcome.standardError;
    EXPECT_NE(outcome.standardError.find("Sample 浏览器.app"), std::string::npos) << outcome.standardError;
    expectOneLine(outcome.standardError);
  }
}

TEST(CodesignTest, StrictVerificationRefusesLinksLeadingOutside) {
  struct Case {
    std::string target;
    bool outside;
  };
  const std::vector<Case> cases = {{"/etc/passwd", true},
                                   {"../../../elsewhere", true},
                                   {"../../../Sample 浏览器.app/x", true},
                                   {"../MacOS/Sample", false},
                                   {"./../../Contents", false},
                                   {"../..", false},
                                   {"missing/../../Info.plist", false},
                                   {"up/../../elsewhere", true},
                                   {"pointer", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    ScratchDirectory scratch;
    const std::string bundle = makeBundle(scratch);
    makeLink(c.target, bundle + "/Contents/Resources/pointer");
    // Inside by itself; a link's text through it may still climb out.
    makeLink("..", bundle + "/Contents/Resources/up");
    ASSERT_EQ(sign(bundle).status, 0);
    EXPECT_EQ(runHelper("codesign", {"--verify", "--deep", bundle}).status, 0);
    HelperOutcome strict = verify(bundle);
    EXPECT_EQ(strict.status, c.outside ? 1 : 0) << strict.standardError;
    if (c.outside) {
      EXPECT_NE(strict.standardError.find("leads outside the bundle"), std::string::npos);
    }
  }
}

TEST(CodesignTest, RefusesWhatCannotBeSignedOrVerified) {
  struct Case {
    std::string name;
    std::function<std::vector<std::string>(const std::string& bundle, const ScratchDirectory&)> arguments;
    int status;
  };
  const std::vector<Case> cases = {
      {"verify an unsigned bundle",
       [](const std::string& b, auto&) {
         return std::vector<std::string>{"--verify", b};
       },
       1},
      {"verify a plain file",
       [](const std::string& b, auto&) {
         return std::vector<std::string>{"--verify", b + "/Contents/Info.plist"};
       },
       1},
      {"verify nothing",
       [](const std::string&, auto& s) {
         return std::vector<std::string>{"--verify", s / "none"};
       },
       1},
      {"sign over a seal without -f",
       [](const std::string& b, auto&) {
         EXPECT_EQ(sign(b).status, 0);
         return std::vector<std::string>{"-s", "-", b};
       },
       1},
      {"sign without --deep around an unsigned nested bundle",
       [](const std::string& b, auto&) {
         return std::vector<std::string>{"-s", "-", b};
       },
       1},
      {"sign a folder without Contents",
       [](const std::string&, auto& s) {
         makeDirectory(s / "Bare.app");
         return std::vector<std::string>{"-s", "-", s / "Bare.app"};
       },
       1},
      {"sign a name that is not UTF-8",
       [](const std::string& b, auto&) {
         writeFile(b + "/Contents/Resources/bad\xff", "x");
         return std::vector<std::string>{"-s", "-", "--deep", b};
       },
       1},
      {"no arguments", [](const std::string&, auto&) { return std::vector<std::string>{}; }, 2},
      {"no path", [](const std::string&, auto&) { return std::vector<std::string>{"--verify"}; }, 2},
      {"sign and verify",
       [](const std::string& b, auto&) {
         return std::vector<std::string>{"-s", "-", "--verify", b};
       },
       2},
      {"unknown option",
       [](const std::string& b, auto&) {
         return std::vector<std::string>{"--verify", "--bogus", b};
       },
       2},
      {"strict signing",
       [](const std::string& b, auto&) {
         return std::vector<std::string>{"-s", "-", "--strict", b};
       },
       2},
      {"forced verification",
       [](const std::string& b, auto&) {
         return std::vector<std::string>{"--verify", "-f", b};
       },
       2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDirectory scratch;
    const std::string bundle = makeBundle(scratch);
    HelperOutcome outcome = runHelper("codesign", c.arguments(bundle, scratch));
    EXPECT_EQ(outcome.status, c.status) << outcome.standardError;
    EXPECT_FALSE(outcome.standardError.empty());
    if (c.name != "sign over a seal without -f") {
      EXPECT_FALSE(exists(bundle + "/Contents/_CodeSignature"));
    }
  }
}

TEST(CodesignTest, APublisherRequirementAcceptsOnlyTheKeysIntactSignature) {
  ScratchDirectory scratch;
  const std::string key = scratch / "publisher.pem", publisher = makeKey(key);
  const std::string other = makeKey(scratch / "other.pem");
  const std::vector<std::vector<std::string>> cases = {
      // identity, fingerprint, tamper?, reported
      {key, publisher, "", ""},
      {key, other, "", "signed by another key (" + publisher},
      {"-", publisher, "", "sealed ad hoc, not by the publisher"},
      {key, publisher, "tamper", "signature of the seal does not verify"},
      {key, "", "tamper", "signature of the seal does not verify"}};
  EXPECT_EQ(runHelper("codesign", {"-s", scratch / "none.pem", makeBundle(scratch)}).status, 1);
  EXPECT_EQ(runHelper("codesign", {"--verify", "-R=anchor apple", scratch / "x.app"}).status, 2);
  for (const auto& c : cases) {
    ScratchDirectory bundles;
    const std::string bundle = makeBundle(bundles);
    ASSERT_EQ(runHelper("codesign", {"-s", c[0], "-f", "--deep", bundle}).status, 0);
    // One more character in the signature's base64 text.
    if (!c[2].empty()) editSeal(bundle, "<key>signature</key>\n\t<data>\n\t", "<key>signature</key>\n\t<data>\n\tA");
    std::vector<std::string> arguments = {"--verify", "--deep", bundle};
    if (!c[1].empty()) arguments.insert(arguments.begin(), "-R=publisher:" + c[1]);
    HelperOutcome outcome = runHelper("codesign", arguments);
    EXPECT_EQ(outcome.status, c[3].empty() ? 0 : 1) << outcome.standardError;
    EXPECT_NE(outcome.standardError.find(c[3]), std::string::npos) << outcome.standardError;
  }
}

TEST(CodesignTest, ForcedResealAcceptsTheChangedBundle) {
  ScratchDirectory scratch;
  const std::string bundle = makeBundle(scratch);
  ASSERT_EQ(sign(bundle).status, 0);
  const std::string sealBefore = readFile(bundle + "/Contents/_CodeSignature/CodeResources");
  EXPECT_EQ(runHelper("codesign", {"-s", "-", "--deep", bundle}).status, 1);
  EXPECT_EQ(readFile(bundle + "/Contents/_CodeSignature/CodeResources"), sealBefore);
  writeFile(bundle + "/" + innermostApp + "/Contents/MacOS/Deep", "changed", 0755);
  ASSERT_EQ(verify(bundle).status, 1);
  ASSERT_EQ(sign(bundle).status, 0);
  EXPECT_EQ(verify(bundle).status, 0);
}

}  // namespace
}  // namespace helpers_test
