#include <sys/vfs.h>

#include "platform/posix/system_calls.h"

namespace installer::posix {
namespace {

// The `f_type` values of statfs(2) for the kinds that keep no POSIX modes.
// Every FUSE disk (exFAT and NTFS included) reads as FUSE alone.
constexpr long msdosMagic = 0x4d44;
constexpr long exfatMagic = 0x2011bab0;
constexpr long ntfsMagic = 0x5346544e;
constexpr long fuseMagic = 0x65735546;

}  // namespace

std::optional<bool> volumeKeepsModes(const std::string& path) {
  struct statfs volume {};
  if (::statfs(path.c_str(), &volume) != 0) return std::nullopt;
  const long kind = static_cast<long>(volume.f_type);
  return kind != msdosMagic && kind != exfatMagic && kind != ntfsMagic && kind != fuseMagic;
}

}  // namespace installer::posix
