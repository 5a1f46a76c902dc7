#include "inspect/command.h"

#include <sys/stat.h>

#include <fstream>

#include "entry/installer_error.h"
#include "platform/platform_error.h"
#include "tests/support/platform_test.h"

namespace installer {
namespace {

class CommandTest : public testing::PlatformTest {
 protected:
  /// A tool that records its arguments one per line, then ends as told.
  std::string tool(const std::string& ending) {
    std::string path = root() + "/tool";
    testing::writeFile(path, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" +
                                 root() + "/arguments\"\n" + ending + "\n");
    chmod(path.c_str(), 0755);
    return path;
  }
  std::string recordedArguments() {
    std::ifstream in(root() + "/arguments");
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
};

TEST_F(CommandTest, TerminationStatusDecides) {
  EXPECT_NO_THROW(command(tool("exit 0"), {}, "失败"));
  for (const char* ending : {"exit 1", "exit 255", "kill -9 $$"}) {
    try {
      command(tool(ending), {}, "无法准备新版浏览器。");
      ADD_FAILURE() << ending << " did not fail";
    } catch (const InstallerError& error) {
      EXPECT_EQ(error.errorDescription(), "无法准备新版浏览器。") << ending;
    }
  }
}

TEST_F(CommandTest, AToolThatCannotStartRaisesThePlatformError) {
  const std::string missing = root() + "/no such tool";
  try {
    command(missing, {}, "失败");
    ADD_FAILURE() << "a missing tool did not fail";
  } catch (const PlatformError& error) {
    EXPECT_NE(std::string(error.what()).find(missing), std::string::npos) << error.what();
  }
}

TEST_F(CommandTest, EveryArgumentArrivesAsOneUnchangedArgument) {
  const std::vector<std::string> arguments = {
      "two words", "it's \"quoted\"", "$HOME `x` ; | &", "-leading", "Quorvane浏览器 2.0.app", "*"};
  command(tool("exit 0"), arguments, "失败");
  std::string expected;
  for (const auto& argument : arguments) expected += argument + "\n";
  EXPECT_EQ(recordedArguments(), expected);
}

}  // namespace
}  // namespace installer
