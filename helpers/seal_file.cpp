#include "helpers/seal_file.h"

#include <fcntl.h>
#include <plist/plist.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "helpers/file_digest.h"
#include "helpers/file_io.h"
#include "helpers/seal_identity.h"
#include "helpers/system_failure.h"
#include "platform/host/property_list_nul.h"

namespace helpers {
namespace {

// 2: files record their size; a seal may carry a signature.
constexpr std::uint64_t sealFormat = 2;
constexpr off_t largestSeal = 512 << 20;
const std::string sealDirectoryName = "_CodeSignature";
const std::string sealFileName = "CodeResources";

struct PlistFree {
  void operator()(plist_t node) const { plist_free(node); }
};
using Plist = std::unique_ptr<std::remove_pointer_t<plist_t>, PlistFree>;

std::string typeName(EntryKind kind) {
  switch (kind) {
    case EntryKind::file: return "file";
    case EntryKind::directory: return "directory";
    case EntryKind::symlink: return "symlink";
    case EntryKind::bundle: return "bundle";
  }
  return "";
}

std::optional<EntryKind> kindOfTypeName(std::string_view name) {
  for (EntryKind kind : {EntryKind::file, EntryKind::directory, EntryKind::symlink, EntryKind::bundle})
    if (name == typeName(kind)) return kind;
  return std::nullopt;
}

[[noreturn]] void unreadable(const std::string& relative, const std::string& why) {
  throw SealMismatch(relative, "seal unreadable: " + why);
}

/// The bytes of a data node, or nothing when `node` is absent or no data.
std::optional<std::string> dataValue(plist_t node) {
  if (node == nullptr || plist_get_node_type(node) != PLIST_DATA) return std::nullopt;
  uint64_t length = 0;
  const char* bytes = plist_get_data_ptr(node, &length);
  return std::string(bytes, length);
}

std::string stringValue(plist_t node) {
  uint64_t length = 0;
  const char* text = plist_get_string_ptr(node, &length);
  return std::string(text, length);
}

SealEntry entryOfNode(const std::string& relative, plist_t node) {
  if (plist_get_node_type(node) != PLIST_DICT) unreadable(relative, "entry is no dictionary");
  SealEntry entry;
  plist_t type = plist_dict_get_item(node, "type");
  if (type == nullptr || plist_get_node_type(type) != PLIST_STRING) unreadable(relative, "entry without a type");
  std::optional<EntryKind> kind = kindOfTypeName(stringValue(type));
  if (!kind) unreadable(relative, "unknown entry type");
  entry.kind = *kind;
  if (entry.kind == EntryKind::symlink) {
    plist_t target = plist_dict_get_item(node, "target");
    if (target == nullptr || plist_get_node_type(target) != PLIST_STRING)
      unreadable(relative, "symbolic link without a target");
    entry.target = stringValue(target);
    return entry;
  }
  plist_t mode = plist_dict_get_item(node, "mode");
  if (mode == nullptr || plist_get_node_type(mode) != PLIST_UINT) unreadable(relative, "entry without a mode");
  uint64_t modeValue = 0;
  plist_get_uint_val(mode, &modeValue);
  if (modeValue > 07777) unreadable(relative, "mode out of range");
  entry.mode = static_cast<std::uint32_t>(modeValue);
  if (entry.kind == EntryKind::directory) return entry;
  if (entry.kind == EntryKind::file) {
    plist_t size = plist_dict_get_item(node, "size");
    if (size == nullptr || plist_get_node_type(size) != PLIST_UINT) unreadable(relative, "file without a size");
    plist_get_uint_val(size, &entry.size);
  }
  plist_t digest = plist_dict_get_item(node, "sha256");
  uint64_t length = 0;
  const char* bytes = digest != nullptr && plist_get_node_type(digest) == PLIST_DATA
                          ? plist_get_data_ptr(digest, &length)
                          : nullptr;
  if (bytes == nullptr || length != entry.digest.size()) unreadable(relative, "entry without a SHA-256 digest");
  std::memcpy(entry.digest.data(), bytes, entry.digest.size());
  return entry;
}

std::string xmlOf(plist_t root) {
  char* xml = nullptr;
  uint32_t length = 0;
  plist_to_xml(root, &xml, &length);
  if (xml == nullptr) throw SystemFailure("cannot write the seal as a property list");
  std::string document(xml, length);
  plist_to_xml_free(xml);
  return document;
}

/// The public key of a signed seal, once its signature verifies over the
/// seal without it; empty for an ad hoc seal. Takes the signature out of `root`.
std::string verifiedPublicKey(plist_t root) {
  plist_t keyNode = plist_dict_get_item(root, "publicKey");
  plist_t signatureNode = plist_dict_get_item(root, "signature");
  if (keyNode == nullptr && signatureNode == nullptr) return {};
  std::optional<std::string> publicKey = dataValue(keyNode);
  std::optional<std::string> signature = dataValue(signatureNode);
  if (!publicKey || !signature) unreadable("", "a signature needs both its key and its bytes");
  plist_dict_remove_item(root, "signature");
  // Over the whole seal as its signer wrote it: every entry, the format and the key.
  if (!signatureVerifies(*publicKey, xmlOf(root), *signature))
    throw SealMismatch("", "signature of the seal does not verify");
  return *publicKey;
}

LoadedSeal sealOfDocument(const std::string& document) {
  // libplist would read such a name cut short, as another file's.
  if (installer::host::holdsEmbeddedNul(document)) unreadable("", "a name holds a NUL byte");
  plist_t parsed = nullptr;
  plist_from_memory(document.data(), static_cast<uint32_t>(document.size()), &parsed);
  Plist root(parsed);
  if (!root || plist_get_node_type(root.get()) != PLIST_DICT) unreadable("", "not a property-list dictionary");
  plist_t format = plist_dict_get_item(root.get(), "format");
  if (format == nullptr || plist_get_node_type(format) != PLIST_UINT ||
      plist_uint_val_compare(format, sealFormat) != 0)
    unreadable("", "unknown format");
  plist_t files = plist_dict_get_item(root.get(), "files");
  if (files == nullptr || plist_get_node_type(files) != PLIST_DICT) unreadable("", "no file list");

  LoadedSeal loaded{digestOfBytes(document), {}, verifiedPublicKey(root.get())};
  Seal& seal = loaded.entries;
  plist_dict_iter iterator = nullptr;
  plist_dict_new_iter(files, &iterator);
  for (;;) {
    char* key = nullptr;
    plist_t node = nullptr;
    plist_dict_next_item(files, iterator, &key, &node);
    if (key == nullptr) break;
    std::string relative(key);
    std::free(key);
    // A name listed twice leaves open which entry counts.
    if (!seal.emplace(relative, entryOfNode(relative, node)).second) unreadable(relative, "entry listed twice");
  }
  std::free(iterator);
  return loaded;
}

plist_t nodeOfEntry(const SealEntry& entry) {
  plist_t node = plist_new_dict();
  plist_dict_set_item(node, "type", plist_new_string(typeName(entry.kind).c_str()));
  if (entry.kind == EntryKind::symlink) {
    plist_dict_set_item(node, "target", plist_new_string(entry.target.c_str()));
    return node;
  }
  plist_dict_set_item(node, "mode", plist_new_uint(entry.mode));
  if (entry.kind == EntryKind::file) plist_dict_set_item(node, "size", plist_new_uint(entry.size));
  if (entry.kind != EntryKind::directory)
    plist_dict_set_item(node, "sha256", plist_new_data(reinterpret_cast<const char*>(entry.digest.data()),
                                                       entry.digest.size()));
  return node;
}

std::string documentOfSeal(const Seal& seal, const SigningKey* key) {
  Plist root(plist_new_dict());
  plist_dict_set_item(root.get(), "format", plist_new_uint(sealFormat));
  plist_t files = plist_new_dict();
  for (const auto& [relative, entry] : seal) plist_dict_set_item(files, relative.c_str(), nodeOfEntry(entry));
  plist_dict_set_item(root.get(), "files", files);
  if (key != nullptr) {
    const std::string publicKey = key->publicKey();
    plist_dict_set_item(root.get(), "publicKey", plist_new_data(publicKey.data(), publicKey.size()));
    const std::string signature = key->sign(xmlOf(root.get()));
    plist_dict_set_item(root.get(), "signature", plist_new_data(signature.data(), signature.size()));
  }
  return xmlOf(root.get());
}

/// Opens `name` in `directoryFd` as a directory, never through a link:
/// nothing when it does not exist or is no directory.
UniqueFd openDirectoryIfPresent(int directoryFd, const std::string& name, const std::string& path) {
  UniqueFd fd(::openat(directoryFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd && errno != ENOENT && errno != ENOTDIR) throwSystemFailure("open", path, errno);
  return fd;
}

/// Opens CodeResources read-only; an empty descriptor when the bundle has none.
UniqueFd openSealFile(int bundleFd, const std::string& bundlePath) {
  UniqueFd contents = openDirectoryIfPresent(bundleFd, "Contents", bundlePath + "/Contents");
  if (!contents) return {};
  const std::string directoryPath = bundlePath + "/Contents/" + sealDirectoryName;
  UniqueFd directory = openDirectoryIfPresent(contents.get(), sealDirectoryName, directoryPath);
  if (!directory) return {};
  UniqueFd file(::openat(directory.get(), sealFileName.c_str(),
                         O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!file && errno != ENOENT) throwSystemFailure("open", directoryPath + "/" + sealFileName, errno);
  return file;
}

std::string readSealDocument(int fd, const std::string& path) {
  struct stat status;
  if (::fstat(fd, &status) != 0) throwSystemFailure("fstat", path, errno);
  if (!S_ISREG(status.st_mode)) unreadable("", "CodeResources is no regular file");
  if (status.st_size > largestSeal) unreadable("", "CodeResources is too large");
  std::string bytes = readAll(fd, path, largestSeal);
  if (bytes.size() > static_cast<size_t>(largestSeal)) unreadable("", "CodeResources is too large");
  return bytes;
}

}  // namespace

std::optional<LoadedSeal> loadSeal(int bundleFd, const std::string& bundlePath) {
  UniqueFd file = openSealFile(bundleFd, bundlePath);
  if (!file) return std::nullopt;
  return sealOfDocument(readSealDocument(file.get(), bundlePath + "/" + sealRelativePath));
}

bool carriesSeal(int bundleFd, const std::string& bundlePath) {
  return static_cast<bool>(openSealFile(bundleFd, bundlePath));
}

UniqueFd openSealDirectory(int bundleFd, const std::string& bundlePath, bool& created) {
  UniqueFd contents = openDirectoryIfPresent(bundleFd, "Contents", bundlePath + "/Contents");
  if (!contents) throw SealMismatch("", "not a bundle: no Contents directory");
  const std::string directoryPath = bundlePath + "/Contents/" + sealDirectoryName;
  created = ::mkdirat(contents.get(), sealDirectoryName.c_str(), 0755) == 0;
  if (!created && errno != EEXIST) throwSystemFailure("mkdir", directoryPath, errno);
  UniqueFd directory(::openat(contents.get(), sealDirectoryName.c_str(),
                              O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!directory) throwSystemFailure("open", directoryPath, errno);
  return directory;
}

void removeEmptySealDirectory(int bundleFd) {
  UniqueFd contents(::openat(bundleFd, "Contents", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (contents) ::unlinkat(contents.get(), sealDirectoryName.c_str(), AT_REMOVEDIR);
}

void writeSeal(int sealDirectoryFd, const std::string& bundlePath, const Seal& seal, const SigningKey* key) {
  const std::string document = documentOfSeal(seal, key);
  const std::string sealPath = bundlePath + "/" + sealRelativePath;
  const std::string temporaryName = "." + sealFileName + "." + std::to_string(::getpid());
  const std::string temporaryPath = bundlePath + "/Contents/" + sealDirectoryName + "/" + temporaryName;
  const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
  UniqueFd temporary(::openat(sealDirectoryFd, temporaryName.c_str(), flags, 0644));
  if (!temporary && errno == EEXIST) {
    // Left behind by an earlier run that had our process identifier.
    ::unlinkat(sealDirectoryFd, temporaryName.c_str(), 0);
    temporary.reset(::openat(sealDirectoryFd, temporaryName.c_str(), flags, 0644));
  }
  if (!temporary) throwSystemFailure("create", temporaryPath, errno);
  try {
    writeAll(temporary.get(), document, temporaryPath);
    if (::fchmod(temporary.get(), 0644) != 0) throwSystemFailure("chmod", temporaryPath, errno);
    if (::fsync(temporary.get()) != 0) throwSystemFailure("fsync", temporaryPath, errno);
    if (::close(temporary.release()) != 0) throwSystemFailure("close", temporaryPath, errno);
    if (::renameat(sealDirectoryFd, temporaryName.c_str(), sealDirectoryFd, sealFileName.c_str()) != 0)
      throwSystemFailure("rename", sealPath, errno);
  } catch (...) {
    ::unlinkat(sealDirectoryFd, temporaryName.c_str(), 0);
    throw;
  }
}

}  // namespace helpers
