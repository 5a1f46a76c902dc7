// The shipped browser stand-in on a Mac: an AppKit application, so that it
// finishes launching as the system sees it and quits on the quit request
// (the Apple event `terminate` sends), the way a real browser does.
#import <AppKit/AppKit.h>

@interface QuorvaneBrowserDelegate : NSObject <NSApplicationDelegate>
@end

@implementation QuorvaneBrowserDelegate
- (NSApplicationTerminateReply)applicationShouldTerminate:(NSApplication*)sender {
  return NSTerminateNow;
}
@end

int main() {
  @autoreleasepool {
    NSApplication* application = [NSApplication sharedApplication];
    [application setActivationPolicy:NSApplicationActivationPolicyRegular];
    // The application holds its delegate weakly; this one lives as long as `run`.
    QuorvaneBrowserDelegate* delegate = [[QuorvaneBrowserDelegate alloc] init];
    [application setDelegate:delegate];
    [application run];
  }
  return 0;
}
