#include "platform/host/host_desktop_dialog.h"

#include <dlfcn.h>

#include <cstdlib>
#include <vector>

#include "platform/host/dialog/desktop_dialog_module.h"
#include "platform/host/host.h"
#include "platform/host/host_alert_layout.h"

namespace installer::host {
namespace {

using DialogEntryPoint = long (*)(const QrvxDialogRequest*);

bool displayNamed() {
  for (const char* name : {"WAYLAND_DISPLAY", "DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

/// The module's entry point, loaded once from the installer bundle; null when
/// it cannot be loaded, and then the alerts stay on the terminal.
DialogEntryPoint dialogEntryPoint() {
  static const DialogEntryPoint entryPoint = []() -> DialogEntryPoint {
    const std::string module = HostBundles().mainBundleURL().path() +
                               "/Contents/Frameworks/libQuorvaneDesktopDialog.so";
    void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return nullptr;
    return reinterpret_cast<DialogEntryPoint>(dlsym(handle, desktopDialogEntryPoint));
  }();
  return entryPoint;
}

const char* iconName(AlertStyle style) {
  switch (style) {
    case AlertStyle::critical:
      return "dialog-error";
    case AlertStyle::informational:
      return "dialog-information";
    case AlertStyle::warning:
      break;
  }
  return "dialog-warning";
}

/// The name the desktop shows for the installer: its bundle's, as on macOS.
std::string applicationName() {
  HostBundles bundles;
  FileURL bundle = bundles.mainBundleURL();
  if (std::optional<BundleContents> contents = bundles.open(bundle)) {
    if (const PropertyValue* name = contents->infoValue("CFBundleName"))
      if (const std::string* text = name->string(); text && !text->empty()) return *text;
  }
  return bundle.deletingPathExtension().lastPathComponent();
}

void runIdle(void* idle) { (*static_cast<const std::function<void()>*>(idle))(); }

}  // namespace

std::optional<long> runDesktopDialog(const Alert& alert, const std::function<void()>& idle) {
  if (!displayNamed()) return std::nullopt;
  DialogEntryPoint run = dialogEntryPoint();
  if (!run) return std::nullopt;

  const std::vector<AlertButton> buttons = shownButtons(alert);
  std::vector<const char*> titles;
  long closeButton = -1;
  for (const AlertButton& button : buttons) {
    if (button.keyEquivalent == "\x1b" && closeButton < 0)
      closeButton = static_cast<long>(titles.size());
    titles.push_back(button.title.c_str());
  }
  const std::string windowTitle = applicationName();
  const QrvxDialogRequest request{windowTitle.c_str(),
                                  alert.messageText.c_str(),
                                  alert.informativeText.c_str(),
                                  iconName(alert.style),
                                  titles.data(),
                                  titles.size(),
                                  closeButton,
                                  runIdle,
                                  const_cast<std::function<void()>*>(&idle)};
  const long chosen = run(&request);
  if (chosen == -2) return std::nullopt;
  if (chosen < 0) return modalResponseAbort;
  return alertFirstButtonReturn + chosen;
}

}  // namespace installer::host
