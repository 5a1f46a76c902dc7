#pragma once

#include <string>

namespace helpers {

/// One end of an extended-attribute copy: an open descriptor, or (fd < 0) a
/// path whose last component is never followed (symbolic links, FIFOs).
struct AttributeHolder {
  int fd = -1;
  const std::string& path;
};

/// Copies every extended attribute of `from` to `to`. Attributes the
/// destination's file system cannot hold, and those of privileged namespaces
/// we may not set, are left behind; any other failure throws SystemFailure.
void copyExtendedAttributes(const AttributeHolder& from, const AttributeHolder& to);

}  // namespace helpers
