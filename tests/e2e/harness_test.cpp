// The harness's own promises that later scenarios build on: the fixture
// browser behaves and records as told, sealed bundles verify until changed,
// and a sandbox leaves no process and no folder behind.

#include <gtest/gtest.h>
#include <signal.h>

#include <memory>
#include <thread>

#include "harness.h"

namespace e2e {
namespace {

TEST(FixtureBrowser, StartedLikeAUserWouldItRecordsItsStartAndEndsOnTerm) {
  Sandbox sandbox;
  fs::path record = sandbox.path("record");
  fs::path bundle = makeBundle(sandbox.path("apps") / browserBundle, {.record = record});
  BrowserProcess browser = BrowserProcess::start(sandbox, bundle);

  BrowserStart start = BrowserRecord(record).waitForStarts(1);
  EXPECT_EQ(start.pid, browser.pid());
  EXPECT_EQ(start.session, browser.pid()) << "not the leader of a new session";
  EXPECT_EQ(start.parent, ::getpid());
  EXPECT_EQ(start.environment, sandbox.environment());
  EXPECT_TRUE(start.arguments.empty());
  EXPECT_EQ(start.workingDirectory, "/");
  EXPECT_EQ(start.executable, bundle / "Contents/MacOS" / browserName);
  EXPECT_EQ(start.descriptors,
            (std::vector<std::string>{"0 -> /dev/null", "1 -> /dev/null", "2 -> /dev/null"}));

  browser.sendSignal(SIGTERM);
  EXPECT_EQ(browser.waitForExit(), std::optional<int>(0));
  BrowserRecord events(record);
  EXPECT_EQ(events.count("TERM", start.pid), 1);
  EXPECT_EQ(events.count("EXIT", start.pid), 1);
}

TEST(FixtureBrowser, ItsModesExitAtOnceOrOutlastTerm) {
  Sandbox sandbox;
  fs::path record = sandbox.path("record");
  BrowserProcess quitter = BrowserProcess::start(
      sandbox, makeBundle(sandbox.path("exit") / browserBundle,
                          {.mode = FixtureMode::exit, .record = record, .seal = false}));
  EXPECT_EQ(quitter.waitForExit(), std::optional<int>(3));

  BrowserProcess stubborn = BrowserProcess::start(
      sandbox, makeBundle(sandbox.path("stubborn") / browserBundle,
                          {.mode = FixtureMode::ignoreTerm, .record = record, .seal = false}));
  BrowserRecord events(record);
  events.waitForStarts(2);
  stubborn.sendSignal(SIGTERM);
  ASSERT_TRUE(events.waitForEvent("TERM", stubborn.pid()));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(stubborn.hasEnded());
  stubborn.sendSignal(SIGKILL);
  EXPECT_EQ(stubborn.waitForExit(), std::optional<int>(128 + SIGKILL));
}

TEST(BundleFactory, ASealedBundleVerifiesUntilAnythingInItChanges) {
  Sandbox sandbox;
  fs::path bundle = makeBundle(sandbox.path("apps") / browserBundle, {.binaryInfo = true});
  EXPECT_TRUE(bundleVerifies(bundle));
  EXPECT_EQ(infoString(bundle, "CFBundleIdentifier"), std::optional<std::string>(BROWSER_IDENTIFIER));
  EXPECT_EQ(infoString(bundle, "CFBundleShortVersionString"), std::optional<std::string>(PROJECT_VERSION));
  writeFixtureBehaviour(bundle, FixtureMode::exit, std::nullopt);
  EXPECT_FALSE(bundleVerifies(bundle));
  sealBundle(bundle);
  EXPECT_TRUE(bundleVerifies(bundle));
}

TEST(Sandbox, EndingItKillsItsProcessesAndRemovesEverything) {
  std::optional<BrowserProcess> browser;
  auto sandbox = std::make_unique<Sandbox>();
  fs::path root = sandbox->root();
  EXPECT_EQ(fs::status(sandbox->runtimeDirectory()).permissions(), fs::perms(0700));
  fs::path record = sandbox->path("record");
  browser.emplace(BrowserProcess::start(
      *sandbox, makeBundle(sandbox->path("apps") / browserBundle,
                           {.mode = FixtureMode::ignoreTerm, .record = record, .seal = false})));
  BrowserRecord(record).waitForStarts(1);
  fs::create_directories(root / "locked/inner");
  fs::permissions(root / "locked", fs::perms(0500));
  sandbox.reset();
  EXPECT_EQ(browser->waitForExit(std::chrono::seconds(5)), std::optional<int>(128 + SIGKILL));
  EXPECT_FALSE(fs::exists(root));
}

}  // namespace
}  // namespace e2e
