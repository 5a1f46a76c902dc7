#pragma once

// The file operations both backends do alike, on folder descriptors: each
// step names an entry of a folder that is already open, so that no other
// user's rename or link between two steps can redirect it.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/posix.h"

namespace installer::posix {

int openDirectoryAt(int parent, const std::string& name);
std::optional<FileStatus> statusOfDescriptor(int descriptor);
std::optional<FileStatus> statusAt(int parent, const std::string& name);
int makeDirectoryAt(int parent, const std::string& name, std::uint32_t mode);
int removeTreeAt(int parent, const std::string& name, const FileStatus& expected);

}  // namespace installer::posix
