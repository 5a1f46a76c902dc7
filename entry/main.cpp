#include "entry/entry.h"
#include "platform/backend.h"

int main(int argc, char** argv) {
  installer::installServices(installer::backendServices());
  return installer::runInstaller(std::vector<std::string>(argv, argv + argc));
}
