#pragma once

// Shared fixtures of the host backend tests: a private temporary folder, and
// probes that run this test program again as a child process, for what can
// only be observed from a fresh process (its own executable path, GIO's
// cached folders, inherited descriptors).

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/host/host.h"
#include "tests/support/scoped_variable.h"
#include "tests/support/temporary_folder.h"

namespace installer::host::fixtures {

using installer::testing::ScopedVariable;
using installer::testing::TemporaryFolder;

inline void writeFile(const std::string& path, const std::string& contents) {
  std::ofstream(path, std::ios::binary) << contents;
}

inline std::string readFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

/// How `binaryDictionary` writes its keys.
struct BinaryKeys {
  /// Equal keys refer to one key object.
  bool shared = false;
  /// As UTF-16 strings (of the ASCII text given) instead of ASCII ones.
  bool utf16 = false;
};

/// A binary property list of one dictionary of ASCII strings (each under 15
/// bytes, fewer than 15 entries), assembled by hand since no writer makes the
/// malformed lists tests need.
inline std::string binaryDictionary(
    const std::vector<std::pair<std::string, std::string>>& entries, BinaryKeys keys = {}) {
  std::vector<std::pair<std::string, bool>> strings;  // objects 1, 2, ...; 0 is the dictionary
  auto objectOf = [&](const std::string& text, bool share, bool utf16) {
    for (std::size_t index = 0; share && index < strings.size(); ++index) {
      if (strings[index].first == text) return static_cast<char>(index + 1);
    }
    strings.emplace_back(text, utf16);
    return static_cast<char>(strings.size());
  };
  std::string references;
  for (const auto& entry : entries) references += objectOf(entry.first, keys.shared, keys.utf16);
  for (const auto& entry : entries) references += objectOf(entry.second, false, false);

  std::string list = "bplist00";
  std::vector<std::size_t> offsets{list.size()};
  list += static_cast<char>(0xD0 | entries.size());
  list += references;
  for (const auto& [text, utf16] : strings) {
    offsets.push_back(list.size());
    list += static_cast<char>((utf16 ? 0x60 : 0x50) | text.size());
    for (char c : text) {
      if (utf16) list += '\0';
      list += c;
    }
  }
  const std::size_t tableOffset = list.size();
  for (std::size_t offset : offsets) list += static_cast<char>(offset);
  // Trailer: offsets and references of one byte, then the object count, the
  // top object and the offset table's place, each 64-bit big-endian.
  list += std::string(6, '\0') + "\x01\x01";
  for (std::size_t number : {offsets.size(), std::size_t{0}, tableOffset}) {
    for (int shift = 56; shift >= 0; shift -= 8) list += static_cast<char>((number >> shift) & 0xFF);
  }
  return list;
}

/// A `#!/bin/sh` script at `path` with `body`, executable.
inline void writeScript(const std::string& path, const std::string& body) {
  writeFile(path, "#!/bin/sh\n" + body + "\n");
  std::filesystem::permissions(path, std::filesystem::perms(0755));
}

inline std::string thisExecutable() {
  return std::filesystem::read_symlink("/proc/self/exe").string();
}

inline constexpr const char* probeVariable = "QRVX_HOST_TEST_PROBE";
inline constexpr const char* probeOutputVariable = "QRVX_HOST_TEST_PROBE_OUTPUT";

/// Runs `executable` (this test program, or a copy of it) as a probe named
/// `probe`, with `variables` added to its environment, and answers what it
/// wrote. The probe's exit status must be 0.
inline std::string runProbe(const std::string& executable, const std::string& probe,
                            const std::map<std::string, std::string>& variables,
                            const std::string& outputPath) {
  std::vector<std::string> arguments = {std::string(probeVariable) + "=" + probe,
                                        std::string(probeOutputVariable) + "=" + outputPath};
  for (const auto& [name, value] : variables) arguments.push_back(name + "=" + value);
  arguments.push_back(executable);
  int status = HostChildProcesses("/nonexistent").run("/usr/bin/env", arguments);
  if (status != 0) throw std::runtime_error("probe " + probe + " exited " + std::to_string(status));
  return readFile(outputPath);
}

/// Registers `body` to run instead of the tests when this program starts as
/// the probe `name`; what it answers goes to the probe's output file.
struct ProbeRegistration {
  ProbeRegistration(const char* name, const std::function<std::string()>& body) {
    const char* requested = std::getenv(probeVariable);
    const char* output = std::getenv(probeOutputVariable);
    if (!requested || !output || std::string(requested) != name) return;
    writeFile(output, body());
    std::_Exit(0);
  }
};

}  // namespace installer::host::fixtures
