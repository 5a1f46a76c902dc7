#include "inspect/bundle_info.h"

#include "entry/constants.h"
#include "entry/installer_error.h"
#include "inspect/command.h"
#include "platform/services.h"
#include "platform/terminal_text.h"

namespace installer {

bool BundleInfo::matches(const FileURL& location) const {
  std::optional<FileStatus> status = services().posix->lstat(location.path());
  return status && status->device == device && status->inode == inode;
}

namespace {

const char* const sealFile = "Contents/_CodeSignature/CodeResources";

// Far above any real browser (about 2,000 entries, 1 GB): a bundle beyond
// them is refused before the signature tool spends its time hashing it.
constexpr std::uint64_t maximumEntries = 200000;
constexpr std::uint64_t maximumApparentSize = std::uint64_t{8} << 30;

/// What one walk of a bundle's tree found.
struct TreeSurvey {
  /// The whole tree was read and stayed within the bounds above.
  bool withinBounds = false;
  /// No entry is writable by group or others or carries setuid or setgid; a
  /// link's own mode means nothing and is skipped.
  bool privateModes = true;
  /// What the tree takes, for the destination volume's checks.
  TreeFootprint footprint{};
};

TreeSurvey surveyTree(const std::string& path) {
  TreeSurvey survey;
  TreeFootprint& footprint = survey.footprint;
  std::uint64_t apparentSize = 0;
  survey.withinBounds =
      services().posix->visitTree(path, [&](const std::string&, const FileStatus& status) {
        apparentSize += status.size;
        footprint.allocatedBytes += status.allocatedSize;
        if (++footprint.entries > maximumEntries || apparentSize > maximumApparentSize) {
          return false;
        }
        if ((status.mode & fileTypeMask) == symbolicLinkType) {
          footprint.holdsSymbolicLinks = true;
        } else if ((status.mode & (groupWriteBit | otherWriteBit | setIdentityBits)) != 0) {
          survey.privateModes = false;
        }
        return true;
      });
  return survey;
}

/// `mainFilesInside` for the executable that `bundle`'s Info.plist, already
/// read, names.
bool mainFilesInside(const FileURL& bundle, const FileURL& executable) {
  Posix& posix = *services().posix;
  const std::optional<std::string> root = posix.realpath(bundle.path());
  if (!root) return false;
  // Judged by where each resolves, never by how its path reads: links may
  // lead anywhere, and only the tree beneath the bundle is sealed.
  auto regularFileInside = [&](const FileURL& item) {
    const std::optional<std::string> real = posix.realpath(item.path());
    if (!real || !real->starts_with(*root + "/")) return false;
    const std::optional<FileStatus> status = posix.lstat(*real);
    return status && (status->mode & fileTypeMask) == regularFileType;
  };
  return regularFileInside(executable) &&
         regularFileInside(bundle.appendingPathComponent("Contents/Info.plist"));
}

}  // namespace

InstallerError signatureFailure(const std::string& path) {
  return InstallerError("应用签名校验失败。\n" + shownPath(path));
}

bool mainFilesInside(const FileURL& bundle) {
  const std::optional<BundleContents> contents = services().bundles->open(bundle);
  return contents && contents->executableURL && mainFilesInside(bundle, *contents->executableURL);
}

namespace {

BundleInfo verifyBundle(const FileURL& url, bool installable) {
  const std::string path = url.path();
  auto unrecognised = [&] {
    return InstallerError("不是可识别的" + browserName + "应用包。\n" + shownPath(path));
  };

  // The identity is taken before anything is read, so a bundle swapped in
  // while it is being examined never passes for the one that was examined.
  std::optional<FileStatus> status = services().posix->lstat(path);
  if (!status || (status->mode & fileTypeMask) != directoryType) throw unrecognised();
  if (url.pathExtension() != "app") throw unrecognised();

  std::optional<BundleContents> bundle = services().bundles->open(url);
  if (!bundle) throw unrecognised();
  if (bundle->infoRefused) {
    throw InstallerError(
        "系统不允许读取" + browserName +
        "应用包的信息。请在“系统设置”>“隐私与安全性”中允许安装程序访问该位置，然后重试。\n" +
        shownPath(path));
  }
  if (bundle->bundleIdentifier != browserIdentifier) throw unrecognised();
  const PropertyValue* executableValue = bundle->infoValue("CFBundleExecutable");
  const std::string* executableName = executableValue ? executableValue->string() : nullptr;
  if (!executableName || !isSingleName(*executableName) || !bundle->executableURL ||
      bundle->executableURL->lastPathComponent() != browserName) {
    throw unrecognised();
  }
  const PropertyValue* versionValue = bundle->infoValue("CFBundleShortVersionString");
  const std::string* version = versionValue ? versionValue->string() : nullptr;
  if (!version) throw unrecognised();
  std::optional<VersionNumbers> numbers = versionNumbers(*version);
  if (!numbers) throw unrecognised();

  const TreeSurvey survey = surveyTree(path);
  if (!survey.withinBounds || (installable && !survey.privateModes)) throw signatureFailure(path);

  // Taken before the seal is checked: a seal replaced after this point no
  // longer matches what the staged copy must carry.
  const std::optional<std::string> sealDigest =
      services().posix->sha256OfFile(url.appendingPathComponent(sealFile).path());

  std::vector<std::string> arguments = {"--verify", "--deep", "--strict"};
  // Any valid seal is one anybody can make; only the publisher's says who made it.
  if (!publisherRequirement().empty()) arguments.push_back("-R=" + publisherRequirement());
  arguments.push_back(path);
  command("/usr/bin/codesign", arguments, signatureFailure(path).what());
  // The executable whose name was judged above, not one read again.
  if (!sealDigest || !mainFilesInside(url, *bundle->executableURL)) throw signatureFailure(path);

  BundleInfo info{url, *version, *numbers, status->device, status->inode, {}, *sealDigest};
  if (installable) info.footprint = survey.footprint;
  return info;
}

}  // namespace

BundleInfo verify(const FileURL& url) { return verifyBundle(url, false); }

BundleInfo verifyInstallable(const FileURL& url) { return verifyBundle(url, true); }

}  // namespace installer
