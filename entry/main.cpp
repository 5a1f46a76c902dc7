// Apple builds platform/macos/macos_main.mm instead, the same with the outer
// autorelease pool.
#include "entry/entry.h"
#include "platform/backend.h"

int main(int argc, char** argv) {
  installer::installServices(installer::backendServices());
  return installer::runInstaller(std::vector<std::string>(argv, argv + argc));
}
