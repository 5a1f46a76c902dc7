// The installer's entry on a Mac: entry/main.cpp inside the outer autorelease
// pool, which a program that does not start through NSApplicationMain must
// make itself, or objects autoreleased outside the backend's own pools leak.
#include "entry/entry.h"
#include "platform/backend.h"

int main(int argc, char** argv) {
  @autoreleasepool {
    installer::installServices(installer::backendServices());
    return installer::runInstaller(std::vector<std::string>(argv, argv + argc));
  }
}
