#include "launch_registry.h"

#include <glib.h>
#include <gtest/gtest.h>

#include "common.h"
#include "sandbox.h"
#include "spawn.h"

namespace e2e {
namespace {

/// `key` of the desktop entry `file`, its escapes undone; empty when missing.
std::string entryValue(const fs::path& file, const char* key) {
  g_autoptr(GKeyFile) entry = g_key_file_new();
  g_key_file_load_from_file(entry, file.c_str(), G_KEY_FILE_NONE, nullptr);
  g_autofree gchar* value = g_key_file_get_string(entry, "Desktop Entry", key, nullptr);
  return value ? value : "";
}

/// The desktop entries of `sandbox`, for `bundle` only when one is given.
std::vector<fs::path> entryFiles(const Sandbox& sandbox, const std::string& bundle = "") {
  std::vector<fs::path> files;
  std::error_code error;
  for (const auto& item : fs::directory_iterator(sandbox.dataHome() / "applications", error)) {
    if (item.path().extension() == ".desktop" &&
        (bundle.empty() || entryValue(item.path(), "X-Quorvane-Bundle") == bundle))
      files.push_back(item.path());
  }
  return files;
}

}  // namespace

std::vector<std::string> registeredBundles(const Sandbox& sandbox) {
  std::vector<std::string> bundles;
  for (const fs::path& file : entryFiles(sandbox))
    bundles.push_back(entryValue(file, "X-Quorvane-Bundle"));
  return bundles;
}

void registerBundle(const Sandbox& sandbox, const fs::path& bundle) {
  const fs::path helper = helperPath(builtInstallerBundle(), "lsregister");
  ToolResult result = runTool(helper, {"-f", bundle.string()}, sandbox.environment());
  if (result.exitStatus != 0)
    throw HarnessError(helper.string() + " -f " + bundle.string() + ": exit " +
                       std::to_string(result.exitStatus) + ": " + result.standardError);
}

void expectDesktopEntry(const Sandbox& sandbox, const fs::path& bundle) {
  const std::vector<fs::path> files = entryFiles(sandbox, bundle.string());
  ASSERT_EQ(files.size(), 1u) << "desktop entries for " << bundle;
  g_auto(GStrv) argv = nullptr;
  ASSERT_TRUE(g_shell_parse_argv(entryValue(files[0], "Exec").c_str(), nullptr, &argv, nullptr));
  EXPECT_EQ(std::vector<std::string>(argv, argv + g_strv_length(argv)),
            (std::vector<std::string>{bundle / "Contents/MacOS" / browserName, "%U"}));
  ToolResult validation =
      runTool("/usr/bin/desktop-file-validate", {files[0]}, sandbox.environment());
  EXPECT_EQ(validation.exitStatus, 0) << validation.standardOutput;
  ToolResult handlers =
      runTool("/usr/bin/gio", {"mime", "x-scheme-handler/https"}, sandbox.environment());
  EXPECT_NE(handlers.standardOutput.find("\t" + files[0].filename().string() + "\n"),
            std::string::npos)
      << handlers.standardOutput;
}

}  // namespace e2e
