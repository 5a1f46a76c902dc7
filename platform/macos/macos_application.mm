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

/// Brings the installer to the front. From macOS 14 activation is a request
/// the system may decline, and the flag of the older call has no effect there.
void activateApplication() {
  NSApplication* application = [NSApplication sharedApplication];
  if (@available(macOS 14.0, *)) {
    [application activate];
  } else {
    [application activateIgnoringOtherApps:YES];
  }
}

}  // namespace

void MacApplication::setAccessoryActivationPolicy() {
  withinAutoreleasePool([] {
    [[NSApplication sharedApplication] setActivationPolicy:NSApplicationActivationPolicyAccessory];
  });
}

void MacApplication::activate() { withinAutoreleasePool(activateApplication); }

long MacApplication::runModal(const Alert& alert) {
  return withinAutoreleasePool([&alert] {
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
    // The browser launched meanwhile may have taken the front: an alert
    // behind it would send Return to the browser.
    activateApplication();
    return static_cast<long>([panel runModal]);
  });
}

}  // namespace installer::macos
