#pragma once

#include <sys/types.h>

#include <string>

#include "tests/support/temporary_folder.h"

namespace helpers_test {

using ScratchDirectory = installer::testing::TemporaryFolder;

/// Writes `content` to `path` (parents created) with exactly `mode`.
void writeFile(const std::string& path, const std::string& content, mode_t mode = 0644);
/// Creates `path` and missing parents; gives `path` exactly `mode`.
void makeDirectory(const std::string& path, mode_t mode = 0755);
void makeLink(const std::string& target, const std::string& path);
std::string readFile(const std::string& path);
bool exists(const std::string& path);

}  // namespace helpers_test
