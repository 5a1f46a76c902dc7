// The host stand-in for lsregister: `-f PATH` registers the bundle at PATH in
// the host's application registry, `-u PATH` withdraws it. Paths are recorded
// absolute, without "." components, repeated or trailing slashes, so that both
// commands name a bundle by the same line however they are spelt; symbolic
// links are not resolved (a withdrawn bundle may be gone already).

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "helpers/registry_file.h"
#include "helpers/system_failure.h"

namespace {

constexpr int exitFailure = 1;
constexpr int exitUsage = 2;

std::string currentDirectory() {
  std::string buffer(256, '\0');
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) helpers::throwSystemFailure("getcwd", ".", errno);
    buffer.resize(buffer.size() * 2);
  }
  return buffer.c_str();
}

/// `path` made absolute and tidied lexically; ".." stays, since what it
/// means depends on links.
std::string registeredForm(const std::string& path) {
  const std::string absolute = path.front() == '/' ? path : currentDirectory() + "/" + path;
  std::string tidy;
  size_t start = 0;
  while (start < absolute.size()) {
    size_t end = absolute.find('/', start);
    if (end == std::string::npos) end = absolute.size();
    const std::string component = absolute.substr(start, end - start);
    if (!component.empty() && component != ".") tidy += "/" + component;
    start = end + 1;
  }
  return tidy.empty() ? "/" : tidy;
}

}  // namespace

int main(int argc, char** argv) {
  const bool forced = argc == 3 && std::strcmp(argv[1], "-f") == 0;
  const bool withdrawn = argc == 3 && std::strcmp(argv[1], "-u") == 0;
  if ((!forced && !withdrawn) || argv[2][0] == '\0') {
    std::fputs("usage: lsregister -f PATH | lsregister -u PATH\n", stderr);
    return exitUsage;
  }
  const std::string path = argv[2];
  try {
    struct stat status;
    if (forced && ::stat(path.c_str(), &status) != 0) helpers::throwSystemFailure("stat", path, errno);
    helpers::updateRegistry(registeredForm(path), forced);
    return 0;
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "lsregister: %s\n", failure.what());
    return exitFailure;
  }
}
