#include "platform/host/host_desktop_dialog.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/host/dialog/desktop_dialog.h"
#include "platform/host/host.h"
#include "platform/host/host_alert_layout.h"
#include "platform/posix/spawn.h"

extern char** environ;

namespace installer::host {
namespace {

/// "DISPLAY=:1" for each display variable set, or empty when none is.
std::string namedDisplays() {
  std::string named;
  for (const char* name : {"WAYLAND_DISPLAY", "DISPLAY"}) {
    const char* value = std::getenv(name);
    if (!value || !*value) continue;
    if (!named.empty()) named += ", ";
    named += std::string(name) + "=" + oneLine(value);
  }
  return named;
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
std::string applicationName(HostBundles& bundles, const FileURL& bundle) {
  if (std::optional<BundleContents> contents = bundles.open(bundle)) {
    if (const PropertyValue* name = contents->infoValue("CFBundleName"))
      if (const std::string* text = name->string(); text && !text->empty()) return *text;
  }
  return bundle.deletingPathExtension().lastPathComponent();
}

std::string howItEnded(int status) {
  if (WIFSIGNALED(status)) {
    const char* name = strsignal(WTERMSIG(status));
    return "ended by signal " + std::to_string(WTERMSIG(status)) +
           (name ? std::string(", ") + name : "");
  }
  return "exit status " + std::to_string(posix::statusOfWait(status));
}

}  // namespace

DesktopDialog::DesktopDialog(const Alert& alert) {
  displays_ = namedDisplays();
  if (displays_.empty()) return;
  HostBundles bundles;
  const FileURL bundle = bundles.mainBundleURL();
  const std::string helper = bundle.path() + "/" + desktopDialogHelper;

  const std::vector<AlertButton> buttons = shownButtons(alert);
  buttonCount_ = buttons.size();
  long closeButton = -1;
  for (std::size_t i = 0; i < buttons.size() && closeButton < 0; ++i)
    if (buttons[i].keyEquivalent == "\x1b") closeButton = static_cast<long>(i);
  std::vector<std::string> arguments{helper,
                                     applicationName(bundles, bundle),
                                     iconName(alert.style),
                                     std::to_string(closeButton),
                                     alert.messageText,
                                     alert.informativeText};
  for (const AlertButton& button : buttons) arguments.push_back(button.title);
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) {
    fail("no pipe to the dialog helper: " + posix::errorText(errno));
    return;
  }
  // Nothing of an alert reaches the installer's standard streams.
  posix::SpawnSettings settings;
  int error = settings.redirectToNull(STDIN_FILENO);
  if (error == 0) error = settings.redirect(ends[1], STDOUT_FILENO);
  if (error == 0) error = settings.redirectToNull(STDERR_FILENO);
  if (error == 0) error = settings.prepare();
  if (error == 0) {
    error = posix_spawn(&helper_, helper.c_str(), settings.actions(), settings.attributes(),
                        argv.data(), environ);
  }
  ::close(ends[1]);
  if (error != 0) {
    ::close(ends[0]);
    helper_ = -1;
    fail("the dialog helper " + oneLine(helper) + " could not start: " + posix::errorText(error));
    return;
  }
  report_ = ends[0];
}

DesktopDialog::~DesktopDialog() {
  if (helper_ >= 0) ::kill(helper_, SIGKILL);
  end();
}

std::optional<long> DesktopDialog::collect() {
  std::string line;
  char buffer[256];
  while (line.find('\n') == std::string::npos) {
    ssize_t count = ::read(report_, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) break;
    line.append(buffer, static_cast<std::size_t>(count));
  }
  // The helper ends by itself once it has reported or its display is gone.
  const int status = end();
  line.resize(std::min(line.size(), line.find('\n')));

  if (line == dialogClosed) return modalResponseAbort;
  if (line.starts_with(dialogAnswered)) {
    const std::string index = line.substr(std::strlen(dialogAnswered));
    for (std::size_t i = 0; i < buttonCount_; ++i)
      if (index == std::to_string(i)) return alertFirstButtonReturn + static_cast<long>(i);
  }
  if (line.starts_with(dialogFailed)) {
    fail(oneLine(line.substr(std::strlen(dialogFailed))));
  } else {
    fail("the dialog ended without an answer (" + howItEnded(status) + ")");
  }
  return std::nullopt;
}

void DesktopDialog::fail(const std::string& reason) {
  failure_ = "No dialog could be shown on the display named (" + displays_ + "): " + reason;
}

int DesktopDialog::end() {
  if (report_ >= 0) ::close(report_);
  report_ = -1;
  int status = 0;
  if (helper_ >= 0 && !posix::waitForChild(helper_, status)) status = 0;
  helper_ = -1;
  return status;
}

}  // namespace installer::host
