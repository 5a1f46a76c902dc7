#pragma once

// Browser bundles made on demand: an Info.plist written with libplist, the
// fixture browser as the executable, a behaviour for it, and a seal made by
// the built codesign helper.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <variant>

namespace e2e {

struct AbsentValue {};
/// What CFBundleShortVersionString holds: nothing, a string, or an integer.
using InfoVersion = std::variant<AbsentValue, std::string, std::uint64_t>;

/// What the fixture browser does once started.
enum class FixtureMode {
  stay,        ///< runs until SIGTERM, then exits 0
  exit,        ///< exits at once with status 3
  ignoreTerm,  ///< logs SIGTERM and keeps running; only SIGKILL ends it
  crash,       ///< runs like `stay`, but dies of SIGKILL one second after starting
};

/// Which helpers the fixture browser starts, each running its executable again.
enum class FixtureProcesses {
  single,    ///< none
  chromium,  ///< GPU process, zygote and renderer, marked --type=
  gecko,     ///< content process, fork server and its content process, marked -contentproc
};

/// The fixture behaviour file inside a bundle, read by the fixture at start.
inline constexpr const char* fixtureBehaviourFile = "Contents/Resources/fixture-behaviour";

struct BundleSpec {
  std::string identifier = BROWSER_IDENTIFIER;
  /// CFBundleExecutable, and the name under Contents/MacOS of the fixture copy.
  std::string executableName = "Quorvane浏览器";
  InfoVersion version = std::string(PROJECT_VERSION);
  /// More string values for Info.plist.
  std::map<std::string, std::string> extraInfo{};
  bool binaryInfo = false;
  bool installExecutable = true;
  FixtureMode mode = FixtureMode::stay;
  /// Runs as a multi-process browser does (see fixture_browser.cpp).
  FixtureProcesses processes = FixtureProcesses::single;
  /// Also a crash handler running the main executable, re-parented from the start.
  bool crashHandler = false;
  /// How long the helpers outlive the main process.
  int lingerMilliseconds = 0;
  /// A folder where the fixture records every start (see BrowserRecord).
  std::optional<std::filesystem::path> record{};
  /// More files: path inside the bundle (e.g. "Contents/Resources/a.txt") and content.
  std::map<std::string, std::string> extraFiles{};
  bool seal = true;
};

/// Makes the bundle at `at` (missing parents created) and, unless told not to,
/// seals it; answers `at`. Throws HarnessError when any step fails.
std::filesystem::path makeBundle(const std::filesystem::path& at, const BundleSpec& spec = {});

/// Writes `bundle`/Contents/Info.plist from the description's Info values.
void writeInfoPropertyList(const std::filesystem::path& bundle, const BundleSpec& spec);

/// Rewrites the fixture behaviour file, with the helpers that `helpers`
/// describes; this breaks a seal made before.
void writeFixtureBehaviour(const std::filesystem::path& bundle, FixtureMode mode,
                           const std::optional<std::filesystem::path>& record,
                           const BundleSpec& helpers = {});

/// Runs the built `codesign -s IDENTITY -f --deep`, by default with what the
/// build signs its own browser with; throws HarnessError with its diagnostics
/// when it fails.
void sealBundle(const std::filesystem::path& bundle, const std::string& identity);
void sealBundle(const std::filesystem::path& bundle);

/// Whether the build names a publisher, whose key then signs every bundle made here.
bool buildHasPublisher();

/// A new Ed25519 signing key at `at` (a PEM file): another publisher's.
std::filesystem::path makeSigningKey(const std::filesystem::path& at);

/// Changes a bit of the signature in the bundle's seal, nothing else.
void changeSignatureByte(const std::filesystem::path& bundle);

/// Whether the built `codesign --verify --deep --strict` accepts the bundle.
bool bundleVerifies(const std::filesystem::path& bundle);

/// The string under `key` in the bundle's Info.plist (XML or binary), if any.
std::optional<std::string> infoString(const std::filesystem::path& bundle, const std::string& key);

}  // namespace e2e
