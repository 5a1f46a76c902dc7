// The host stand-in for codesign: seals of bundles, signed or ad hoc, and
// their checks.
//
// A seal is Contents/_CodeSignature/CodeResources, an XML property list
// {format: 2, files: {relative path: entry}}. It records every directory
// (the bundle itself as ".") and regular file with its mode bits, every file
// with its size and the SHA-256 of its content, every symbolic link with its
// target. Signed with an identity (-s KEY.pem, an Ed25519 private key), it
// also holds publicKey, the raw public key, and signature, the key's Ed25519
// signature over the seal as written without that signature. A signature
// that does not verify makes the seal unusable; -R=publisher:FINGERPRINT
// asks, besides, that the key be the one whose SHA-256 is FINGERPRINT.
// Only CodeResources itself is left out; the _CodeSignature directory and
// anything else inside it are sealed like any other entry.
//
// Nested bundles (*.app and *.framework directories inside Contents/) are
// sealed on their own. The enclosing seal records a nested bundle only by its
// mode and the SHA-256 of its CodeResources, so each file is hashed by exactly
// one seal, and a verification reads every file once.
//
// Because of that, a check that stopped at a nested bundle's CodeResources
// would vouch for files nobody hashed. So verification always descends into
// nested bundles and checks them against their own seals, with or without
// --deep; --deep is accepted as the real tool's command line has it. --deep
// matters for signing: it seals nested bundles first, innermost first; without
// it, every nested bundle must already carry a seal it matches, else signing
// is refused.
//
// --strict judges each link against the bundle whose seal lists it.
//
// Without -f, a bundle that already carries a seal (with --deep: any nested one
// too) is not signed again. Paths in diagnostics are escaped so that every
// diagnostic is one line.

#include <fcntl.h>
#include <getopt.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "helpers/bundle_seal.h"
#include "helpers/seal_identity.h"
#include "helpers/seal_sign.h"
#include "helpers/seal_verify.h"
#include "helpers/system_failure.h"
#include "helpers/unique_fd.h"

namespace {

constexpr int exitMismatch = 1;
constexpr int exitUsage = 2;

struct CommandLine {
  bool sign = false;
  bool verify = false;
  helpers::SignOptions signOptions;
  helpers::VerifyOptions verifyOptions;
  bool deep = false;
  std::string keyPath;
  std::vector<std::string> paths;
};

/// The fingerprint that `-R` asks for: lower-case hex of a SHA-256.
bool isFingerprint(const std::string& text) {
  return text.size() == 64 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

void printUsage() {
  std::fputs(
      "usage: codesign -s -|KEY.pem [-f] [--deep] PATH...\n"
      "       codesign --verify [--deep] [--strict] [-R=publisher:FINGERPRINT] PATH...\n",
      stderr);
}

/// The command line, or nothing when it is not understood (already reported).
std::optional<CommandLine> parseCommandLine(int argc, char** argv) {
  enum { deepOption = 1000, strictOption };
  static const option longOptions[] = {
      {"sign", required_argument, nullptr, 's'}, {"force", no_argument, nullptr, 'f'},
      {"verify", no_argument, nullptr, 'v'},     {"deep", no_argument, nullptr, deepOption},
      {"strict", no_argument, nullptr, strictOption}, {nullptr, 0, nullptr, 0}};
  CommandLine command;
  bool strict = false;
  int choice;
  const std::string requirementPrefix = "=publisher:";
  while ((choice = getopt_long(argc, argv, "+s:fvR:", longOptions, nullptr)) != -1) {
    switch (choice) {
      case 's':
        if (std::strcmp(optarg, "-") != 0) command.keyPath = optarg;
        command.sign = true;
        break;
      case 'R': {
        const std::string requirement = optarg;
        if (!requirement.starts_with(requirementPrefix) ||
            !isFingerprint(requirement.substr(requirementPrefix.size()))) {
          std::fprintf(stderr, "codesign: %s: the only requirement is =publisher:FINGERPRINT\n",
                       helpers::printablePath(requirement).c_str());
          return std::nullopt;
        }
        command.verifyOptions.publisher = requirement.substr(requirementPrefix.size());
        break;
      }
      case 'f': command.signOptions.force = true; break;
      case 'v': command.verify = true; break;
      case deepOption: command.deep = true; break;
      case strictOption: strict = true; break;
      default: return std::nullopt;
    }
  }
  for (int index = optind; index < argc; ++index) command.paths.emplace_back(argv[index]);
  if (command.sign == command.verify || command.paths.empty()) return std::nullopt;
  if (command.sign && strict) return std::nullopt;
  if (command.verify && command.signOptions.force) return std::nullopt;
  if (command.sign && !command.verifyOptions.publisher.empty()) return std::nullopt;
  command.signOptions.deep = command.deep;
  command.verifyOptions.strict = strict;
  return command;
}

/// Signs or verifies one bundle; answers false after reporting why it failed.
bool processBundle(const CommandLine& command, const std::string& path) {
  const std::string shown = helpers::printablePath(path);
  try {
    // The operand itself may be reached through a link; nothing inside it is.
    helpers::UniqueFd bundle(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!bundle) helpers::throwSystemFailure("open", path, errno);
    if (command.sign) {
      helpers::signBundle(bundle.get(), path, command.signOptions);
    } else {
      helpers::verifyBundle(bundle.get(), path, command.verifyOptions);
    }
    return true;
  } catch (const helpers::SealMismatch& mismatch) {
    const std::string& relative = mismatch.relative();
    if (relative.empty() || relative == ".") {
      std::fprintf(stderr, "codesign: %s: %s\n", shown.c_str(), mismatch.what());
    } else {
      std::fprintf(stderr, "codesign: %s: %s: %s\n", shown.c_str(),
                   helpers::printablePath(relative).c_str(), mismatch.what());
    }
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "codesign: %s\n", failure.what());
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  std::optional<CommandLine> command = parseCommandLine(argc, argv);
  if (!command) {
    printUsage();
    return exitUsage;
  }
  std::optional<helpers::SigningKey> key;
  if (!command->keyPath.empty()) {
    try {
      key.emplace(command->keyPath);
    } catch (const std::exception& failure) {
      std::fprintf(stderr, "codesign: %s\n", failure.what());
      return exitMismatch;
    }
    command->signOptions.key = &*key;
  }
  bool succeeded = true;
  for (const std::string& path : command->paths) succeeded = processBundle(*command, path) && succeeded;
  return succeeded ? 0 : exitMismatch;
}
