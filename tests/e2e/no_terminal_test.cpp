// Without a controlling terminal no alert can be shown: a failure goes straight
// to standard error, and nothing else happens anywhere.

#include <gtest/gtest.h>

#include "failure_report.h"
#include "harness.h"

namespace e2e {
namespace {

TEST(NoTerminal, AFailureWritesOnlyItsDescriptionToStandardError) {
  struct Case {
    const char* name;
    std::function<std::vector<std::string>(const Sandbox&)> arguments;
    std::function<std::string(const Sandbox&)> description;
  };
  const Case cases[] = {
      {"incomplete command line", [](const Sandbox&) { return std::vector<std::string>{"--source"}; },
       [](const Sandbox&) { return std::string("安装参数不完整。"); }},
      {"unsupported key",
       [](const Sandbox&) { return std::vector<std::string>{"--bogus", "x"}; },
       [](const Sandbox&) { return std::string("不支持的安装参数 --bogus。"); }},
      {"unrecognised bundle",
       [](const Sandbox& s) {
         makeBundle(s.path("other") / browserBundle, {.identifier = "com.example.other"});
         return std::vector<std::string>{"--source", (s.path("other") / browserBundle).string(),
                                         "--destination", (s.path("apps") / browserBundle).string()};
       },
       [](const Sandbox& s) {
         return "不是可识别的Quorvane浏览器应用包。\n" + (s.path("other") / browserBundle).string();
       }},
  };
  for (const auto& testCase : cases) {
    SCOPED_TRACE(testCase.name);
    runCase([&] {
      Sandbox sandbox;
      std::vector<std::string> arguments = testCase.arguments(sandbox);
      TreeSnapshot before = snapshotTree(sandbox.root());
      InstallerRun run =
          InstallerRun::start(sandbox, {.arguments = arguments, .controllingTerminal = false});
      RunResult result = run.finish();
      expectSilentFailure(result, testCase.description(sandbox));
      EXPECT_EQ(treeDifferences(before, snapshotTree(sandbox.root())), "");
      EXPECT_FALSE(fs::exists(sandbox.applicationsFolder()));
    });
  }
}

}  // namespace
}  // namespace e2e
