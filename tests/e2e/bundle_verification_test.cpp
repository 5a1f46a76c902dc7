// Bundles the installer must refuse before it touches anything: as the new
// bundle and as the installed one. The message names the location in its
// normalized form (the folder resolved, the last component as written).

#include <gtest/gtest.h>

#include <functional>

#include "failure_report.h"
#include "harness.h"

namespace e2e {
namespace {

std::string unrecognised(const std::string& path) {
  return "不是可识别的Quorvane浏览器应用包。\n" + path;
}

std::string badSignature(const std::string& path) { return "应用签名校验失败。\n" + path; }

/// A location handed to the installer, and how its messages must show it.
struct Staged {
  std::string argument;
  std::string shown;
};

Staged at(const fs::path& path) { return {path.string(), path.string()}; }

fs::path validBundle(const Sandbox& sandbox, const std::string& folder) {
  return makeBundle(sandbox.path(folder) / browserBundle);
}

/// unsafeModes: the signature message for a new bundle; an installed copy is
/// not judged by its modes, so that it can still be replaced.
enum class Verdict { unrecognised, badSignature, unsafeModes };

struct BundleCase {
  const char* name;
  std::function<Staged(const Sandbox&)> stage;
  Verdict verdict;
};

/// A bundle sealed with `identity` ("-": ad hoc, else a key file) in place of the build's own.
Staged sealedWith(const Sandbox& s, const std::string& folder, const std::string& identity) {
  fs::path bundle = makeBundle(s.path(folder) / browserBundle, {.seal = false});
  sealBundle(bundle, identity);
  return at(bundle);
}

std::string otherKey(const Sandbox& s) {
  fs::create_directories(s.path("keys"));
  return makeSigningKey(s.path("keys") / "other.pem").string();
}

const std::vector<BundleCase>& bundlesBrokenAnywhere() {
  static const std::vector<BundleCase> cases = {
      {"another identifier",
       [](const Sandbox& s) {
         return at(makeBundle(s.path("other-id") / browserBundle,
                              {.identifier = "com.quorvane.browser.beta"}));
       },
       Verdict::unrecognised},
      {"identifier in other letter case",
       [](const Sandbox& s) {
         return at(makeBundle(s.path("case-id") / browserBundle, {.identifier = "com.Quorvane.browser"}));
       },
       Verdict::unrecognised},
      {"an empty folder",
       [](const Sandbox& s) {
         fs::create_directories(s.path("empty") / browserBundle);
         return at(s.path("empty") / browserBundle);
       },
       Verdict::unrecognised},
      {"a folder without Info.plist",
       [](const Sandbox& s) {
         fs::path bundle = makeBundle(s.path("no-info") / browserBundle, {.seal = false});
         fs::remove(bundle / "Contents/Info.plist");
         sealBundle(bundle);
         return at(bundle);
       },
       Verdict::unrecognised},
      {"a corrupt Info.plist",
       [](const Sandbox& s) {
         fs::path bundle = makeBundle(s.path("corrupt-info") / browserBundle, {.seal = false});
         writeFile(bundle / "Contents/Info.plist", "<?xml version=\"1.0\"?><plist><dict><key>");
         sealBundle(bundle);
         return at(bundle);
       },
       Verdict::unrecognised},
      {"a version in full-width digits",
       [](const Sandbox& s) {
         return at(makeBundle(s.path("wide") / browserBundle, {.version = std::string("２.1")}));
       },
       Verdict::unrecognised},
      {"a symbolic link to a valid bundle",
       [](const Sandbox& s) {
         fs::path target = validBundle(s, "real");
         fs::create_directories(s.path("link"));
         fs::create_directory_symlink(target, s.path("link") / browserBundle);
         return at(s.path("link") / browserBundle);
       },
       Verdict::unrecognised},
      {"upper-case extension",
       [](const Sandbox& s) { return at(makeBundle(s.path("upper/Quorvane浏览器.APP"))); },
       Verdict::unrecognised},
      {"no extension",
       [](const Sandbox& s) { return at(makeBundle(s.path("bare/Quorvane浏览器"))); },
       Verdict::unrecognised},
      {"a word after the version",
       [](const Sandbox& s) {
         return at(makeBundle(s.path("beta") / browserBundle, {.version = std::string("1.2 beta")}));
       },
       Verdict::unrecognised},
      {"five version groups",
       [](const Sandbox& s) {
         return at(makeBundle(s.path("five") / browserBundle, {.version = std::string("1.2.3.4.5")}));
       },
       Verdict::unrecognised},
      {"an empty version",
       [](const Sandbox& s) {
         return at(makeBundle(s.path("empty-version") / browserBundle, {.version = std::string()}));
       },
       Verdict::unrecognised},
      {"version stored as an integer",
       [](const Sandbox& s) {
         return at(makeBundle(s.path("integer") / browserBundle, {.version = std::uint64_t{2}}));
       },
       Verdict::unrecognised},
      {"no version",
       [](const Sandbox& s) {
         return at(makeBundle(s.path("no-version") / browserBundle, {.version = AbsentValue{}}));
       },
       Verdict::unrecognised},
      {"another executable name",
       [](const Sandbox& s) {
         return at(makeBundle(s.path("other-exe") / browserBundle, {.executableName = "Other"}));
       },
       Verdict::unrecognised},
      {"an executable name climbing out of Contents/MacOS",
       [](const Sandbox& s) {
         return at(makeBundle(s.path("climbing/a/b") / browserBundle,
                              {.executableName = "../../../" + std::string(browserName)}));
       },
       Verdict::unrecognised},
      {"Info.plist a link to a file outside",
       [](const Sandbox& s) {
         fs::path bundle = validBundle(s, "info-link");
         fs::copy_file(bundle / "Contents/Info.plist", s.path("outside.plist"));
         fs::remove(bundle / "Contents/Info.plist");
         fs::create_symlink(s.path("outside.plist"), bundle / "Contents/Info.plist");
         return at(bundle);
       },
       Verdict::unrecognised},
      {"Info.plist above 1 MiB",
       [](const Sandbox& s) {
         return at(makeBundle(s.path("huge-info") / browserBundle,
                              {.extraInfo = {{"Padding", std::string(1 << 20, 'x')}}}));
       },
       Verdict::unrecognised},
      {"a regular file",
       [](const Sandbox& s) {
         writeFile(s.path("file") / browserBundle, "not a bundle");
         return at(s.path("file") / browserBundle);
       },
       Verdict::unrecognised},
      {"nothing there", [](const Sandbox& s) { return at(s.path("missing") / browserBundle); },
       Verdict::unrecognised},
      {"a relative location, shown absolute",
       [](const Sandbox& s) {
         makeBundle(s.path("relative") / browserBundle, {.identifier = "com.example.other"});
         return Staged{"relative/" + std::string(browserBundle),
                       (s.path("relative") / browserBundle).string()};
       },
       Verdict::unrecognised},
      {"reached through a linked folder, shown resolved",
       [](const Sandbox& s) {
         makeBundle(s.path("linked-target") / browserBundle, {.identifier = "com.example.other"});
         fs::create_directory_symlink(s.path("linked-target"), s.path("linked"));
         return Staged{(s.path("linked") / browserBundle).string(),
                       (s.path("linked-target") / browserBundle).string()};
       },
       Verdict::unrecognised},
      {"a location under ~, shown expanded",
       [](const Sandbox& s) {
         makeBundle(s.home() / "tilde" / browserBundle, {.identifier = "com.example.other"});
         return Staged{"~/tilde/" + std::string(browserBundle),
                       (s.home() / "tilde" / browserBundle).string()};
       },
       Verdict::unrecognised},
      {"dot components and a trailing separator, shown without them",
       [](const Sandbox& s) {
         makeBundle(s.path("dots") / browserBundle, {.identifier = "com.example.other"});
         return Staged{(s.root() / "./dots/../dots" / browserBundle).string() + "/",
                       (s.path("dots") / browserBundle).string()};
       },
       Verdict::unrecognised},
      {"never sealed",
       [](const Sandbox& s) {
         return at(makeBundle(s.path("unsealed") / browserBundle, {.seal = false}));
       },
       Verdict::badSignature},
      {"a file changed after sealing",
       [](const Sandbox& s) {
         fs::path bundle = makeBundle(s.path("changed") / browserBundle,
                                      {.extraFiles = {{"Contents/Resources/page.html", "<p>1</p>"}}});
         writeFile(bundle / "Contents/Resources/page.html", "<p>2</p>");
         return at(bundle);
       },
       Verdict::badSignature},
      {"Info.plist changed after sealing",
       [](const Sandbox& s) {
         fs::path bundle = validBundle(s, "info-changed");
         writeInfoPropertyList(bundle, {.extraInfo = {{"CFBundleName", "Changed"}}});
         return at(bundle);
       },
       Verdict::badSignature},
      {"a file added after sealing",
       [](const Sandbox& s) {
         fs::path bundle = validBundle(s, "added");
         writeFile(bundle / "Contents/Resources/added.txt", "added");
         return at(bundle);
       },
       Verdict::badSignature},
      {"a file removed after sealing",
       [](const Sandbox& s) {
         fs::path bundle = makeBundle(s.path("removed") / browserBundle,
                                      {.extraFiles = {{"Contents/Resources/gone.txt", "x"}}});
         fs::remove(bundle / "Contents/Resources/gone.txt");
         return at(bundle);
       },
       Verdict::badSignature},
      {"a mode changed after sealing",
       [](const Sandbox& s) {
         fs::path bundle = validBundle(s, "mode");
         fs::permissions(bundle / "Contents/MacOS" / browserName, fs::perms(0700));
         return at(bundle);
       },
       Verdict::badSignature},
      {"a sealed link leading outside the bundle",
       [](const Sandbox& s) {
         fs::path bundle = makeBundle(s.path("outside-link") / browserBundle, {.seal = false});
         writeFile(s.path("outside.txt"), "outside");
         fs::create_symlink(s.path("outside.txt"), bundle / "Contents/Resources/outside.txt");
         sealBundle(bundle);
         return at(bundle);
       },
       Verdict::badSignature},
      {"the executable a chain of sealed links leading outside",
       [](const Sandbox& s) {
         fs::path bundle = validBundle(s, "link-chain");
         writeFile(s.path("link-chain") / "elsewhere", "#!/bin/sh\n", fs::perms(0755));
         // Each link's text stays inside the bundle; resolved, the chain leaves it.
         fs::create_directories(bundle / "Contents/Resources/a/b");
         fs::create_symlink("../..", bundle / "Contents/Resources/a/b/up");
         fs::remove(bundle / "Contents/MacOS" / browserName);
         fs::create_symlink("../Resources/a/b/up/../../../elsewhere",
                            bundle / "Contents/MacOS" / browserName);
         sealBundle(bundle);
         return at(bundle);
       },
       Verdict::badSignature},
      {"sealed with a file others may write",
       [](const Sandbox& s) {
         fs::path bundle = validBundle(s, "writable");
         fs::permissions(bundle / "Contents/MacOS" / browserName, fs::perms::others_write,
                         fs::perm_options::add);
         sealBundle(bundle);
         return at(bundle);
       },
       Verdict::unsafeModes},
      {"a nested bundle changed after sealing",
       [](const Sandbox& s) {
         fs::path bundle = makeBundle(s.path("nested") / browserBundle, {.seal = false});
         makeBundle(bundle / "Contents/Frameworks/Helper.app",
                    {.identifier = "com.quorvane.browser.helper", .executableName = "Helper",
                     .extraFiles = {{"Contents/Resources/helper.txt", "1"}}, .seal = false});
         sealBundle(bundle);
         writeFile(bundle / "Contents/Frameworks/Helper.app/Contents/Resources/helper.txt", "2");
         return at(bundle);
       },
       Verdict::badSignature},
      {"a byte of its signature changed",
       [](const Sandbox& s) {
         Staged bundle = buildHasPublisher() ? at(validBundle(s, "signature-changed"))
                                             : sealedWith(s, "signature-changed", otherKey(s));
         changeSignatureByte(bundle.argument);
         return bundle;
       },
       Verdict::badSignature},
  };
  return cases;
}

/// Any valid seal passes a build without a publisher; its build accepts only its key's.
std::vector<BundleCase> brokenBundles() {
  std::vector<BundleCase> cases = bundlesBrokenAnywhere();
  if (!buildHasPublisher()) return cases;
  cases.push_back({"sealed ad hoc", [](const Sandbox& s) { return sealedWith(s, "ad-hoc", "-"); },
                   Verdict::badSignature});
  cases.push_back({"signed with another key",
                   [](const Sandbox& s) { return sealedWith(s, "other-key", otherKey(s)); },
                   Verdict::badSignature});
  return cases;
}

std::string expectedDescription(Verdict verdict, const std::string& shown) {
  return verdict == Verdict::unrecognised ? unrecognised(shown) : badSignature(shown);
}

ToolDiagnostics diagnosticsOf(Verdict verdict) {
  return verdict != Verdict::unrecognised ? ToolDiagnostics::mayPrecede : ToolDiagnostics::none;
}

TEST(BundleVerification, ABrokenNewBundleIsRefusedByNameAndNothingIsTouched) {
  for (const auto& testCase : brokenBundles()) {
    SCOPED_TRACE(testCase.name);
    runCase([&] {
      Sandbox sandbox;
      Staged source = testCase.stage(sandbox);
      std::string destination = (sandbox.path("apps") / browserBundle).string();
      TreeSnapshot before = snapshotTree(sandbox.root());
      InstallerRun run = InstallerRun::start(
          sandbox, {.arguments = {"--source", source.argument, "--destination", destination}});
      expectFailureReport(run, expectedDescription(testCase.verdict, source.shown),
                          diagnosticsOf(testCase.verdict));
      EXPECT_EQ(treeDifferences(before, snapshotTree(sandbox.root())), "");
    });
  }
}

TEST(BundleVerification, ABrokenInstalledBundleIsRefusedByNameAndNothingIsTouched) {
  for (const auto& testCase : brokenBundles()) {
    SCOPED_TRACE(testCase.name);
    runCase([&] {
      Sandbox sandbox;
      Staged installed = testCase.stage(sandbox);
      // Only stagings named like the installed bundle can stand at a destination;
      // the others are covered as new bundles.
      if (!installed.shown.ends_with("/" + std::string(browserBundle))) return;
      if (!fs::exists(fs::symlink_status(installed.shown))) return;
      if (testCase.verdict == Verdict::unsafeModes) return;
      fs::path source = validBundle(sandbox, "new");
      TreeSnapshot before = snapshotTree(sandbox.root());
      InstallerRun run = InstallerRun::start(
          sandbox, {.arguments = {"--source", source.string(), "--destination", installed.argument}});
      expectFailureReport(run, expectedDescription(testCase.verdict, installed.shown),
                          diagnosticsOf(testCase.verdict));
      EXPECT_EQ(treeDifferences(before, snapshotTree(sandbox.root())), "");
    });
  }
}

TEST(BundleVerification, ADanglingLinkAtTheDestinationIsRefused) {
  Sandbox sandbox;
  fs::path source = validBundle(sandbox, "new");
  fs::create_directories(sandbox.path("apps"));
  fs::path destination = sandbox.path("apps") / browserBundle;
  fs::create_directory_symlink(sandbox.path("nowhere") / browserBundle, destination);
  TreeSnapshot before = snapshotTree(sandbox.root());
  InstallerRun run = InstallerRun::start(
      sandbox, {.arguments = {"--source", source.string(), "--destination", destination.string()}});
  expectFailureReport(run, unrecognised(destination.string()));
  EXPECT_EQ(treeDifferences(before, snapshotTree(sandbox.root())), "");
}

TEST(BundleVerification, TheSealIsJudgedByTheCodesignBesideTheInstaller) {
  Sandbox sandbox;
  fs::path installer = copyInstallerBundle(sandbox.path("installer/QuorvaneInstaller.app"));
  fs::path valid = makeBundle(sandbox.path("valid") / browserBundle);
  fs::path tampered = makeBundle(sandbox.path("tampered") / browserBundle);
  writeFile(tampered / "Contents/Resources/added.txt", "added");
  std::string destination = (sandbox.path("apps") / browserBundle).string();

  replaceHelper(installer, "codesign", "#!/bin/sh\nexit 1\n");
  InstallerRun refused = InstallerRun::start(
      sandbox, {.arguments = {"--source", valid.string(), "--destination", destination},
                .installerBundle = installer});
  expectFailureReport(refused, badSignature(valid.string()));

  replaceHelper(installer, "codesign", "#!/bin/sh\nexit 0\n");
  InstallerRun accepted = InstallerRun::start(
      sandbox, {.arguments = {"--source", tampered.string(), "--destination", destination},
                .installerBundle = installer});
  Alert confirmation = accepted.waitForAlert();
  EXPECT_EQ(confirmation.messageText, "安装Quorvane浏览器 " PROJECT_VERSION "？");
  accepted.press(escapeKey);
  EXPECT_EQ(accepted.finish().exitStatus, 0);
}

}  // namespace
}  // namespace e2e
