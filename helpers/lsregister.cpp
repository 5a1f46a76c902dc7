// The host stand-in for lsregister: `-f PATH` registers the bundle at PATH
// with the desktop as a freedesktop desktop entry, `-u PATH` withdraws it.
// Both name a bundle by its absolute, tidied path, so any spelling of it
// reaches the same entry; symbolic links are not resolved (a withdrawn bundle
// may be gone already).

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "helpers/system_failure.h"
#include "platform/host/host_desktop_entries.h"

namespace {

constexpr int exitFailure = 1;
constexpr int exitUsage = 2;

}  // namespace

int main(int argc, char** argv) {
  const bool forced = argc == 3 && std::strcmp(argv[1], "-f") == 0;
  const bool withdrawn = argc == 3 && std::strcmp(argv[1], "-u") == 0;
  if ((!forced && !withdrawn) || argv[2][0] == '\0') {
    std::fputs("usage: lsregister -f PATH | lsregister -u PATH\n", stderr);
    return exitUsage;
  }
  try {
    using namespace installer::host;
    const std::string bundle = registeredBundlePath(argv[2]);
    if (forced) {
      registerDesktopEntry(desktopEntriesFolder(), bundle);
    } else {
      withdrawDesktopEntry(desktopEntriesFolder(), bundle);
    }
    return 0;
  } catch (const std::exception& failure) {
    // The message names paths, which may hold anything a terminal obeys.
    std::fprintf(stderr, "lsregister: %s\n", helpers::printablePath(failure.what()).c_str());
    return exitFailure;
  }
}
