#import <AppKit/AppKit.h>

#include "platform/macos/macos.h"
#include "platform/macos/macos_foundation.h"

namespace installer::macos {
namespace {

NSAlertStyle alertStyleOf(AlertStyle style) {
  switch (style) {
    case AlertStyle::warning:
      return NSAlertStyleWarning;
    case AlertStyle::informational:
      return NSAlertStyleInformational;
    case AlertStyle::critical:
      return NSAlertStyleCritical;
  }
  return NSAlertStyleWarning;
}

}  // namespace

void MacApplication::setAccessoryActivationPolicy() {
  @autoreleasepool {
    [[NSApplication sharedApplication] setActivationPolicy:NSApplicationActivationPolicyAccessory];
  }
}

void MacApplication::activate() {
  @autoreleasepool {
    [[NSApplication sharedApplication] activateIgnoringOtherApps:YES];
  }
}

long MacApplication::runModal(const Alert& alert) {
  @autoreleasepool {
    // An alert needs the application object, even when nothing made it yet.
    [NSApplication sharedApplication];
    NSAlert* panel = [[NSAlert alloc] init];
    [panel setMessageText:displayStringOfUTF8(alert.messageText)];
    [panel setInformativeText:displayStringOfUTF8(alert.informativeText)];
    [panel setAlertStyle:alertStyleOf(alert.style)];
    for (const AlertButton& button : alert.buttons) {
      NSButton* added = [panel addButtonWithTitle:displayStringOfUTF8(button.title)];
      if (!button.keyEquivalent.empty()) {
        [added setKeyEquivalent:displayStringOfUTF8(button.keyEquivalent)];
      }
    }
    return static_cast<long>([panel runModal]);
  }
}

}  // namespace installer::macos
