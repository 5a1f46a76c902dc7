#pragma once

// A fresh folder per test under the system's temporary folder, its path
// fully resolved (/var is a link on macOS), removed with everything in it.

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>

namespace installer::macos::testing {

class TestFolder {
 public:
  TestFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qrvx-macos-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp " + pattern + " failed");
    path_ = std::filesystem::canonical(pattern).string();
  }
  TestFolder(const TestFolder&) = delete;
  TestFolder& operator=(const TestFolder&) = delete;
  ~TestFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

 private:
  std::string path_;
};

}  // namespace installer::macos::testing
