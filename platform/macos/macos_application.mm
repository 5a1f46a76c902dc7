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

/// Brings the installer to the front. `activate`, which replaces this call
/// from macOS 14, is a request the system may decline, and it does decline
/// where this one still works; an accessory application has no Dock icon, so
/// an alert left behind the browser is nearly out of the user's reach.
void activateApplication() {
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wdeprecated-declarations"
  [[NSApplication sharedApplication] activateIgnoringOtherApps:YES];
#pragma clang diagnostic pop
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
    // behind it would send Return to the browser. Laid out first, so that the
    // window comes to the front at its final size, above ordinary windows.
    activateApplication();
    [panel layout];
    NSWindow* window = [panel window];
    [window setLevel:NSModalPanelWindowLevel];
    [window makeKeyAndOrderFront:nil];
    return static_cast<long>([panel runModal]);
  });
}

}  // namespace installer::macos
