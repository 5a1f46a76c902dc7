// The command line: the input split at NUL bytes into the arguments that
// follow the program's own path.

#include <cstdlib>

#include "entry/constants.h"
#include "entry/installer_error.h"
#include "entry/options.h"
#include "tests/fuzz/fuzz_platform.h"

namespace installer::fuzzing {
namespace {

std::vector<std::string> argumentVectorOf(const std::string& input) {
  std::vector<std::string> arguments{"/Volumes/Installer/QuorvaneInstaller.app/Contents/MacOS/"
                                     "QuorvaneInstaller"};
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = input.find('\0', start);
    arguments.push_back(input.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return arguments;
}

bool isAbsolute(const FileURL& url) { return url.path().starts_with('/'); }

}  // namespace
}  // namespace installer::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace installer;
  using namespace installer::fuzzing;
  installFixedServices();
  Options options;
  try {
    options = Options::fromArguments(argumentVectorOf(textOf(data, size)));
  } catch (const InstallerError&) {
    return 0;  // a refused command line is the normal answer to most inputs
  }
  // What the installation relies on once the command line is accepted.
  if (!sameText(options.destination.lastPathComponent(), browserBundle) ||
      !isAbsolute(options.source) || !isAbsolute(options.destination) ||
      (options.current && !isAbsolute(*options.current))) {
    std::abort();
  }
  return 0;
}
