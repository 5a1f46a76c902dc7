#include "scratch_tree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <vector>

namespace fs = std::filesystem;

namespace helpers_test {

void writeFile(const std::string& path, const std::string& content, mode_t mode) {
  fs::create_directories(fs::path(path).parent_path());
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) throw std::runtime_error("cannot create " + path);
  bool written = ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
  bool closed = ::close(fd) == 0;
  if (!written || !closed) throw std::runtime_error("cannot write " + path);
  if (::chmod(path.c_str(), mode) != 0) throw std::runtime_error("cannot chmod " + path);
}

void makeDirectory(const std::string& path, mode_t mode) {
  fs::create_directories(path);
  if (::chmod(path.c_str(), mode) != 0) throw std::runtime_error("cannot chmod " + path);
}

void makeLink(const std::string& target, const std::string& path) {
  fs::create_directories(fs::path(path).parent_path());
  if (::symlink(target.c_str(), path.c_str()) != 0) throw std::runtime_error("cannot link " + path);
}

std::string readFile(const std::string& path) {
  std::string content;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return content;
  char buffer[1 << 16];
  for (ssize_t count; (count = ::read(fd, buffer, sizeof buffer)) > 0;) content.append(buffer, count);
  ::close(fd);
  return content;
}

bool exists(const std::string& path) {
  struct stat status;
  return ::lstat(path.c_str(), &status) == 0;
}

}  // namespace helpers_test
