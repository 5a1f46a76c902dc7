#include "launch_registry.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <memory>

#include "common.h"
#include "sandbox.h"
#include "spawn.h"

namespace e2e {
namespace {

/// Each desktop entry of `sandbox`, by its file, with its bundle.
std::vector<std::pair<fs::path, std::string>> desktopEntries(const Sandbox& sandbox) {
  std::vector<std::pair<fs::path, std::string>> entries;
  std::error_code error;
  for (const auto& item : fs::directory_iterator(sandbox.dataHome() / "applications", error)) {
    if (item.path().extension() != ".desktop") continue;
    std::unique_ptr<GKeyFile, decltype(&g_key_file_free)> file(g_key_file_new(), g_key_file_free);
    g_key_file_load_from_file(file.get(), item.path().c_str(), G_KEY_FILE_NONE, nullptr);
    gchar* bundle =
        g_key_file_get_string(file.get(), "Desktop Entry", "X-Quorvane-Bundle", nullptr);
    entries.emplace_back(item.path(), bundle ? bundle : "");
    g_free(bundle);
  }
  return entries;
}

}  // namespace

std::vector<std::string> registeredBundles(const Sandbox& sandbox) {
  std::vector<std::string> bundles;
  for (const auto& [file, bundle] : desktopEntries(sandbox)) bundles.push_back(bundle);
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
  std::vector<fs::path> files;
  for (const auto& [file, registered] : desktopEntries(sandbox))
    if (registered == bundle.string()) files.push_back(file);
  ASSERT_EQ(files.size(), 1u) << "desktop entries for " << bundle;
  // A launcher's view of the Exec line: its arguments once the quoting is undone.
  std::unique_ptr<GKeyFile, decltype(&g_key_file_free)> entry(g_key_file_new(), g_key_file_free);
  ASSERT_TRUE(g_key_file_load_from_file(entry.get(), files[0].c_str(), G_KEY_FILE_NONE, nullptr));
  gchar* exec = g_key_file_get_string(entry.get(), "Desktop Entry", "Exec", nullptr);
  gchar** argv = nullptr;
  ASSERT_TRUE(exec && g_shell_parse_argv(exec, nullptr, &argv, nullptr)) << exec;
  g_free(exec);
  EXPECT_EQ(std::vector<std::string>(argv, argv + g_strv_length(argv)),
            (std::vector<std::string>{(bundle / "Contents/MacOS" / browserName).string(), "%U"}));
  g_strfreev(argv);

  ToolResult validation =
      runTool("/usr/bin/desktop-file-validate", {files[0].string()}, sandbox.environment());
  EXPECT_EQ(validation.exitStatus, 0) << validation.standardOutput << validation.standardError;
  Environment gio = sandbox.environment();
  gio["XDG_DATA_DIRS"] = sandbox.path("no-system-data").string();
  ToolResult handlers = runTool("/usr/bin/gio", {"mime", "x-scheme-handler/https"}, gio);
  EXPECT_NE(handlers.standardOutput.find("\t" + files[0].filename().string() + "\n"),
            std::string::npos)
      << handlers.standardOutput << handlers.standardError;
}

}  // namespace e2e
