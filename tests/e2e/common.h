#pragma once

#include <sys/types.h>

// What every part of the harness shares: its error, the build's paths and
// small file helpers.

#include <chrono>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace e2e {

namespace fs = std::filesystem;

/// A harness step that could not be carried out; the text says what and why.
class HarnessError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr std::string_view browserName = "Quorvane浏览器";
inline constexpr std::string_view browserBundle = "Quorvane浏览器.app";
inline constexpr std::string_view failureTitle = "无法安装Quorvane浏览器";
/// The single button of an alert that adds none.
inline constexpr std::string_view defaultButtonTitle = "好";
inline constexpr std::string_view returnKey = "\r";
inline constexpr std::string_view escapeKey = "\x1b";

/// Generous, but bounded: a hung installer fails the test instead of the suite.
inline constexpr std::chrono::seconds waitLimit{60};

/// The installer bundle of the build tree, or the copy named by
/// $E2E_INSTALLER_BUNDLE (a lane whose user cannot reach the build tree);
/// never modified by a test.
fs::path builtInstallerBundle();
/// `bundle`/Contents/MacOS/QuorvaneInstaller.
fs::path installerExecutable(const fs::path& installerBundle);
/// `bundle`/Contents/Helpers/`name`.
fs::path helperPath(const fs::path& installerBundle, std::string_view name);
/// `bundle`/Contents/Resources/Quorvane浏览器.app.
fs::path shippedBrowser(const fs::path& installerBundle);
/// The fixture browser program copied into every bundle the factory makes.
fs::path fixtureBrowserProgram();

/// Copies the whole installer bundle tree to `to` (modes, symbolic links kept),
/// so a test can replace a helper; the copy works the same as the original.
fs::path copyInstallerBundle(const fs::path& to);
/// Replaces helper `name` of an installer bundle copy with a shell script.
void replaceHelper(const fs::path& installerBundle, std::string_view name,
                   std::string_view script);

/// The file's bytes; throws HarnessError "read PATH: reason".
std::string readFile(const fs::path& path);

/// Running: some thread of it is neither reaped nor a zombie.
bool processIsAlive(pid_t pid);
/// Creates or truncates `path` with `content`; parent folders are created.
void writeFile(const fs::path& path, std::string_view content, fs::perms mode = fs::perms(0644));

/// Polls `condition` every few milliseconds; answers whether it held within `limit`.
bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds limit = waitLimit);

/// `text` with control characters made visible, for failure messages.
std::string visible(std::string_view text);

}  // namespace e2e
