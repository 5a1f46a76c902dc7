#include "inspect/bundle_info.h"

#include "entry/constants.h"
#include "entry/installer_error.h"
#include "inspect/command.h"
#include "platform/services.h"

namespace installer {

bool BundleInfo::matches(const FileURL& location) const {
  std::optional<FileStatus> status = services().posix->lstat(location.path());
  return status && status->device == device && status->inode == inode;
}

BundleInfo verify(const FileURL& url) {
  const std::string path = url.path();
  auto unrecognised = [&] {
    return InstallerError("不是可识别的" + browserName + "应用包。\n" + path);
  };

  // The identity is taken before anything is read, so a bundle swapped in
  // while it is being examined never passes for the one that was examined.
  std::optional<FileStatus> status = services().posix->lstat(path);
  if (!status || (status->mode & fileTypeMask) != directoryType) throw unrecognised();
  if (url.pathExtension() != "app") throw unrecognised();

  std::optional<BundleContents> bundle = services().bundles->open(url);
  if (!bundle) throw unrecognised();
  if (bundle->bundleIdentifier != browserIdentifier) throw unrecognised();
  if (!bundle->executableURL || bundle->executableURL->lastPathComponent() != browserName) {
    throw unrecognised();
  }
  const PropertyValue* versionValue = bundle->infoValue("CFBundleShortVersionString");
  const std::string* version = versionValue ? versionValue->string() : nullptr;
  if (!version) throw unrecognised();
  std::optional<VersionNumbers> numbers = versionNumbers(*version);
  if (!numbers) throw unrecognised();

  command("/usr/bin/codesign", {"--verify", "--deep", "--strict", path},
          "应用签名校验失败。\n" + path);

  return BundleInfo{url, *version, *numbers, status->device, status->inode, {}};
}

}  // namespace installer
