// Names of items found beside an installation or in a build folder: is it a
// copy of the browser?

#include <cstdlib>

#include "retire/build_copies.h"
#include "tests/fuzz/fuzz_platform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace installer;
  fuzzing::installFixedServices();
  const std::string name = fuzzing::textOf(data, size);
  // The name as listed in a folder, and the same text taken as a whole path.
  for (const FileURL& url :
       {FileURL::fromAbsolutePath("/tmp/qrvx-browser-1").appendingPathComponent(name),
        FileURL::fromPath(name, fuzzing::fuzzHome + "/Applications")}) {
    if (hasBrowserName(url) && url.pathExtension() != "app") std::abort();
  }
  return 0;
}
