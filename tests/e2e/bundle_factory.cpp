#include "bundle_factory.h"

#include <plist/plist.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "common.h"
#include "spawn.h"

namespace e2e {

namespace {

/// What the build's own browser is signed with: "-" (ad hoc) or its publisher's key.
const char* const publisherIdentity = SIGNING_IDENTITY;

struct PlistFree {
  void operator()(plist_t node) const { plist_free(node); }
};
using PlistPointer = std::unique_ptr<void, PlistFree>;

std::string serialised(plist_t root, bool binary) {
  char* data = nullptr;
  std::uint32_t length = 0;
  if (binary) {
    plist_to_bin(root, &data, &length);
  } else {
    plist_to_xml(root, &data, &length);
  }
  if (!data) throw HarnessError("libplist could not serialise an Info dictionary");
  std::string bytes(data, length);
  if (binary) {
    plist_to_bin_free(data);
  } else {
    plist_to_xml_free(data);
  }
  return bytes;
}

const char* modeName(FixtureMode mode) {
  switch (mode) {
    case FixtureMode::stay: return "stay";
    case FixtureMode::exit: return "exit";
    case FixtureMode::ignoreTerm: return "ignore-term";
    case FixtureMode::crash: return "crash";
  }
  return "stay";
}

}  // namespace

void writeInfoPropertyList(const fs::path& bundle, const BundleSpec& spec) {
  PlistPointer root(plist_new_dict());
  plist_dict_set_item(root.get(), "CFBundleIdentifier", plist_new_string(spec.identifier.c_str()));
  plist_dict_set_item(root.get(), "CFBundleExecutable",
                      plist_new_string(spec.executableName.c_str()));
  plist_dict_set_item(root.get(), "CFBundlePackageType", plist_new_string("APPL"));
  if (const auto* text = std::get_if<std::string>(&spec.version)) {
    plist_dict_set_item(root.get(), "CFBundleShortVersionString", plist_new_string(text->c_str()));
  } else if (const auto* number = std::get_if<std::uint64_t>(&spec.version)) {
    plist_dict_set_item(root.get(), "CFBundleShortVersionString", plist_new_uint(*number));
  }
  for (const auto& [key, value] : spec.extraInfo)
    plist_dict_set_item(root.get(), key.c_str(), plist_new_string(value.c_str()));
  const std::string urlTypes =
      "<plist><array><dict><key>CFBundleURLSchemes</key><array>"
      "<string>http</string><string>https</string></array></dict></array></plist>";
  plist_t types = nullptr;
  plist_from_xml(urlTypes.data(), static_cast<uint32_t>(urlTypes.size()), &types);
  plist_dict_set_item(root.get(), "CFBundleURLTypes", types);
  writeFile(bundle / "Contents/Info.plist", serialised(root.get(), spec.binaryInfo));
}

void writeFixtureBehaviour(const fs::path& bundle, FixtureMode mode,
                           const std::optional<fs::path>& record, const BundleSpec& helpers) {
  std::string behaviour = std::string("mode=") + modeName(mode) + "\n";
  if (record) behaviour += "record=" + record->string() + "\n";
  if (helpers.processes != FixtureProcesses::single)
    behaviour += helpers.processes == FixtureProcesses::chromium ? "processes=chromium\n"
                                                                 : "processes=gecko\n";
  if (helpers.crashHandler) behaviour += "crash-handler=yes\n";
  if (helpers.lingerMilliseconds > 0)
    behaviour += "linger=" + std::to_string(helpers.lingerMilliseconds) + "\n";
  writeFile(bundle / fixtureBehaviourFile, behaviour);
}

fs::path makeBundle(const fs::path& at, const BundleSpec& spec) {
  std::error_code error;
  fs::create_directories(at / "Contents/MacOS", error);
  if (error) throw HarnessError("create " + (at / "Contents/MacOS").string() + ": " + error.message());
  writeInfoPropertyList(at, spec);
  if (spec.installExecutable) {
    fs::path executable = at / "Contents/MacOS" / spec.executableName;
    fs::copy_file(fixtureBrowserProgram(), executable, fs::copy_options::overwrite_existing, error);
    if (error)
      throw HarnessError("copy " + fixtureBrowserProgram().string() + " to " + executable.string() +
                         ": " + error.message());
    fs::permissions(executable, fs::perms(0755), error);
  }
  writeFixtureBehaviour(at, spec.mode, spec.record, spec);
  for (const auto& [relative, content] : spec.extraFiles) writeFile(at / relative, content);
  if (spec.seal) sealBundle(at, publisherIdentity);
  return at;
}

void sealBundle(const fs::path& bundle, const std::string& identity) {
  fs::path codesign = helperPath(builtInstallerBundle(), "codesign");
  ToolResult result =
      runTool(codesign, {"-s", identity, "-f", "--deep", bundle.string()}, toolEnvironment());
  if (result.exitStatus != 0)
    throw HarnessError(codesign.string() + " -s " + identity + " -f --deep " + bundle.string() +
                       ": exit " + std::to_string(result.exitStatus) + ": " + result.standardError);
}

void sealBundle(const fs::path& bundle) { sealBundle(bundle, publisherIdentity); }

bool buildHasPublisher() { return publisherIdentity != std::string("-"); }

fs::path makeSigningKey(const fs::path& at) {
  ToolResult result =
      runTool("/usr/bin/openssl", {"genpkey", "-algorithm", "ed25519", "-out", at.string()},
              toolEnvironment());
  if (result.exitStatus != 0) throw HarnessError("openssl genpkey: " + result.standardError);
  return at;
}

void changeSignatureByte(const fs::path& bundle) {
  const fs::path seal = bundle / "Contents/_CodeSignature/CodeResources";
  std::string document = readFile(seal);
  const std::size_t at = document.find("<key>signature</key>\n\t<data>\n\t") + 30;
  if (at < 30) throw HarnessError(seal.string() + " carries no signature");
  document[at] = document[at] == 'A' ? 'B' : 'A';  // the first byte's high bits
  writeFile(seal, document);
}

bool bundleVerifies(const fs::path& bundle) {
  ToolResult result = runTool(helperPath(builtInstallerBundle(), "codesign"),
                              {"--verify", "--deep", "--strict", bundle.string()},
                              toolEnvironment());
  return result.exitStatus == 0;
}

std::optional<std::string> infoString(const fs::path& bundle, const std::string& key) {
  std::string bytes = readFile(bundle / "Contents/Info.plist");
  plist_t parsed = nullptr;
  plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &parsed);
  PlistPointer root(parsed);
  if (!root || plist_get_node_type(root.get()) != PLIST_DICT) return std::nullopt;
  plist_t item = plist_dict_get_item(root.get(), key.c_str());
  if (!item || plist_get_node_type(item) != PLIST_STRING) return std::nullopt;
  char* value = nullptr;
  plist_get_string_val(item, &value);
  if (!value) return std::nullopt;
  std::string text(value);
  std::free(value);
  return text;
}

}  // namespace e2e
