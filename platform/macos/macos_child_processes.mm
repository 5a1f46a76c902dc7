#include "platform/macos/macos.h"
#include "platform/macos/macos_foundation.h"

namespace installer::macos {

int MacChildProcesses::run(const std::string& executable,
                           const std::vector<std::string>& arguments) {
  return withinAutoreleasePool([&] {
    const std::string failure = "Could not start " + executable;
    NSString* path = stringOfUTF8(executable);
    if (!path) throw PlatformError(failure + ": the path is not valid UTF-8");
    // NSURL refuses an empty path with an exception rather than an error.
    if (path.length == 0) throw PlatformError(failure + ": no path");
    NSMutableArray<NSString*>* taskArguments = [NSMutableArray arrayWithCapacity:arguments.size()];
    for (const std::string& argument : arguments) {
      NSString* text = stringOfUTF8(argument);
      // An argument cut or altered on its way would make the tool act on
      // something else.
      if (!text) throw PlatformError(failure + ": an argument is not valid UTF-8");
      [taskArguments addObject:text];
    }
    NSTask* task = [[NSTask alloc] init];
    [task setExecutableURL:[NSURL fileURLWithPath:path]];
    [task setArguments:taskArguments];
    NSError* error = nil;
    if (![task launchAndReturnError:&error]) throw platformErrorOf(error, failure);
    // This turns the main run loop, so queued main-queue blocks may run
    // inside a tool run. The only such block, the open request's completion,
    // writes an open-error slot that nobody reads once `launch` has returned,
    // and a block's failure waits for the next pass of MacRunLoop.
    [task waitUntilExit];
    // After a signal this is the signal's number, never zero.
    return [task terminationStatus];
  });
}

}  // namespace installer::macos
