#include "tests/support/platform_test.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace installer::testing {

PlatformTest::PlatformTest() {
  services_.application = &application_;
  services_.runningApplications = &running_;
  services_.workspace = &workspace_;
  services_.bundles = &hostBundles_;
  services_.files = &hostFiles_;
  services_.durability = &durability_;
  services_.childProcesses = &hostChildProcesses_;
  services_.processInfo = &clock_;
  services_.runLoop = &runLoop_;
  services_.preferences = &preferences_;
  services_.posix = &posix_;
  services_.uuids = &hostUUIDs_;
  services_.text = &hostText_;
  previous_ = installServices(services_);
}

PlatformTest::~PlatformTest() { installServices(previous_); }

void writeFile(const std::string& path, const std::string& contents) {
  std::ofstream out(path, std::ios::binary);
  out << contents;
  if (!out) throw std::runtime_error("cannot write " + path);
}

void makeBundle(const std::string& path, const BundleSpec& spec) {
  namespace fs = std::filesystem;
  fs::create_directories(path + "/Contents/MacOS");
  fs::create_directories(path + "/Contents/Resources");
  PropertyDictionary info;
  if (spec.identifier) info.push_back({"CFBundleIdentifier", *spec.identifier});
  if (spec.executable) info.push_back({"CFBundleExecutable", *spec.executable});
  if (spec.version) info.push_back({"CFBundleShortVersionString", *spec.version});
  if (!host::writePropertyList(path + "/Contents/Info.plist", PropertyValue(info))) {
    throw std::runtime_error("cannot write Info.plist in " + path);
  }
  std::string executable = "Quorvane浏览器";
  if (spec.executable && spec.executable->string()) executable = *spec.executable->string();
  std::string executablePath = path + "/Contents/MacOS/" + executable;
  writeFile(executablePath, "#!/bin/sh\nexit 0\n");
  fs::permissions(executablePath, fs::perms::owner_all | fs::perms::group_read |
                                      fs::perms::group_exec | fs::perms::others_read |
                                      fs::perms::others_exec);
  writeFile(path + "/Contents/Resources/page.html", "<p>start</p>\n");
  if (spec.seal) {
    host::HostChildProcesses tools(HELPERS_DIR);
    if (tools.run("/usr/bin/codesign", {"-s", signingIdentity(), "-f", "--deep", path}) != 0) {
      throw std::runtime_error("cannot seal " + path);
    }
  }
}

const char* signingIdentity() { return SIGNING_IDENTITY; }

}  // namespace installer::testing
