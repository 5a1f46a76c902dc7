#include "helpers/xattr_copy.h"

#include <sys/xattr.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

#include "helpers/system_failure.h"

namespace helpers {
namespace {

ssize_t listNames(const AttributeHolder& holder, char* names, size_t size) {
  return holder.fd >= 0 ? ::flistxattr(holder.fd, names, size) : ::llistxattr(holder.path.c_str(), names, size);
}

ssize_t readValue(const AttributeHolder& holder, const char* name, void* value, size_t size) {
  return holder.fd >= 0 ? ::fgetxattr(holder.fd, name, value, size)
                        : ::lgetxattr(holder.path.c_str(), name, value, size);
}

int writeValue(const AttributeHolder& holder, const char* name, const void* value, size_t size) {
  return holder.fd >= 0 ? ::fsetxattr(holder.fd, name, value, size, 0)
                        : ::lsetxattr(holder.path.c_str(), name, value, size, 0);
}

/// The attribute names of `holder`; none where its file system has none.
/// The list may grow between asking its size and reading it: ERANGE retries.
std::vector<char> attributeNames(const AttributeHolder& holder) {
  for (;;) {
    ssize_t size = listNames(holder, nullptr, 0);
    if (size < 0) {
      if (errno == ENOTSUP) return {};
      throwSystemFailure("listxattr", holder.path, errno);
    }
    if (size == 0) return {};
    std::vector<char> names(static_cast<size_t>(size));
    ssize_t length = listNames(holder, names.data(), names.size());
    if (length >= 0) {
      names.resize(static_cast<size_t>(length));
      return names;
    }
    if (errno != ERANGE) throwSystemFailure("listxattr", holder.path, errno);
  }
}

/// The value of `name`, or nothing when it vanished meanwhile.
std::optional<std::vector<char>> attributeValue(const AttributeHolder& holder, const char* name) {
  for (;;) {
    ssize_t size = readValue(holder, name, nullptr, 0);
    if (size < 0) {
      if (errno == ENODATA) return std::nullopt;
      throwSystemFailure(std::string("getxattr ") + name, holder.path, errno);
    }
    std::vector<char> value(static_cast<size_t>(size));
    ssize_t length = readValue(holder, name, value.data(), value.size());
    if (length >= 0) {
      value.resize(static_cast<size_t>(length));
      return value;
    }
    if (errno == ENODATA) return std::nullopt;
    if (errno != ERANGE) throwSystemFailure(std::string("getxattr ") + name, holder.path, errno);
  }
}

}  // namespace

void copyExtendedAttributes(const AttributeHolder& from, const AttributeHolder& to) {
  std::vector<char> names = attributeNames(from);
  for (size_t offset = 0; offset < names.size();) {
    const char* name = names.data() + offset;
    offset += std::strlen(name) + 1;
    std::optional<std::vector<char>> value = attributeValue(from, name);
    if (!value) continue;
    if (writeValue(to, name, value->data(), value->size()) == 0) continue;
    int error = errno;
    bool privileged = std::strncmp(name, "user.", 5) != 0;
    if (error == ENOTSUP || (privileged && (error == EPERM || error == EACCES))) continue;
    throwSystemFailure(std::string("setxattr ") + name, to.path, error);
  }
}

}  // namespace helpers
