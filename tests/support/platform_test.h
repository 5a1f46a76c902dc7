#pragma once

// A test fixture that runs the logic against the real file system in a fresh
// temporary directory and against the fakes for everything else that cannot
// be staged cheaply.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/host/host.h"
#include "tests/support/fake_platform.h"
#include "tests/support/temporary_folder.h"

namespace installer::testing {

class PlatformTest : public ::testing::Test {
 protected:
  PlatformTest();
  ~PlatformTest() override;

  /// The test's own directory, its path resolved.
  const std::string& root() const { return folder_.path(); }
  FileURL url(const std::string& relative) const {
    return FileURL::fromAbsolutePath(folder_ / relative);
  }

  host::HostFileManager hostFiles_;
  host::HostBundles hostBundles_;
  host::HostPosix hostPosix_;
  host::HostText hostText_;
  host::HostUUIDs hostUUIDs_;
  host::HostChildProcesses hostChildProcesses_{HELPERS_DIR};

  FakeApplication application_;
  FakeClock clock_;
  FakeRunLoop runLoop_{clock_};
  FakeRunningApplications running_;
  FakeWorkspace workspace_;
  FakePreferences preferences_;
  FakeDurability durability_;
  FakePosix posix_{hostPosix_};

  Services services_;

 private:
  Services previous_;
  TemporaryFolder folder_{"qrvx-unit"};
};

/// What a test bundle's Info.plist holds; absent values are left out.
struct BundleSpec {
  std::optional<PropertyValue> identifier = PropertyValue(QRVX_BROWSER_IDENTIFIER);
  std::optional<PropertyValue> executable = PropertyValue("Quorvane浏览器");
  std::optional<PropertyValue> version = PropertyValue("1.0");
  bool seal = true;
};

/// Makes a bundle directory at `path` with an Info.plist, an executable file
/// and a resource, sealed by the codesign helper unless told otherwise.
void makeBundle(const std::string& path, const BundleSpec& spec = {});

/// What the build signs bundles with, for `codesign -s`: "-" or its publisher's key.
const char* signingIdentity();

/// Writes `contents` to a new file at `path`.
void writeFile(const std::string& path, const std::string& contents);

}  // namespace installer::testing
