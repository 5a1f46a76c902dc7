#pragma once

// A folder of a test's own under the system's temporary folder, for the tests
// of both systems and of the helper tools. Its path is resolved: on macOS
// /var and /tmp are links, and the code under test resolves what it is
// given. It goes with everything in it, also what a test left unwritable or
// unreadable, even when the test stopped at a failed assertion.

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

namespace installer::testing {

class TemporaryFolder {
 public:
  explicit TemporaryFolder(const std::string& prefix = "qrvx-test") {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp " + pattern + " failed");
    path_ = std::filesystem::canonical(pattern).string();
  }
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;
  ~TemporaryFolder() {
    namespace fs = std::filesystem;
    constexpr fs::perms open = fs::perms::owner_all;
    std::error_code ignored;
    fs::permissions(path_, open, fs::perm_options::add, ignored);
    // Each folder is opened after it is made readable; links are not followed.
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(path_, error); !error && it != fs::end(it);
         it.increment(error)) {
      if (!it->is_symlink(ignored) && it->is_directory(ignored)) {
        fs::permissions(it->path(), open, fs::perm_options::add, ignored);
      }
    }
    fs::remove_all(path_, ignored);
  }

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

 private:
  std::string path_;
};

}  // namespace installer::testing
