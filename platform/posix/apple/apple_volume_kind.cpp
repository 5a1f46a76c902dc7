#include "platform/posix/system_calls.h"

namespace installer::posix {

// The Mac's volumes say what they cannot do through their resource values
// (no swap renaming on FAT, exFAT, SMB), which the staging trial asks first;
// the kind alone is not asked here.
std::optional<bool> volumeKeepsModes(const std::string&) { return std::nullopt; }

}  // namespace installer::posix
