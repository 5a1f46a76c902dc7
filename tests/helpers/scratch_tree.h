#pragma once

#include <sys/types.h>

#include <string>

namespace helpers_test {

/// A fresh directory from mkdtemp, removed with everything in it afterwards.
class ScratchDirectory {
 public:
  ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;
  ~ScratchDirectory();
  const std::string& path() const { return path_; }
  /// `relative` inside the scratch directory.
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

 private:
  std::string path_;
};

/// Writes `content` to `path` (parents created) with exactly `mode`.
void writeFile(const std::string& path, const std::string& content, mode_t mode = 0644);
/// Creates `path` and missing parents; gives `path` exactly `mode`.
void makeDirectory(const std::string& path, mode_t mode = 0755);
void makeLink(const std::string& target, const std::string& path);
std::string readFile(const std::string& path);
bool exists(const std::string& path);

}  // namespace helpers_test
