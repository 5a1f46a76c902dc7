// The desktop dialog: libadwaita's message dialog on GTK 4, started the first
// time an alert needs it, its main loop turning only while a dialog is open,
// as a modal alert turns the run loop on macOS.
#include "platform/host/dialog/desktop_dialog_module.h"

#include <adwaita.h>
#include <fcntl.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr guint idleSliceMilliseconds = 50;
// Not a number, so it is never one of the buttons' responses.
constexpr const char* noButtonResponse = "close";

// Nothing of an alert may reach standard error, and GTK and GLib report
// plenty there (a missing settings backend, an absent accessibility bus).
// Only a fatal error, which ends the process anyway, still says why.
GLogWriterOutput keepLogQuiet(GLogLevelFlags level, const GLogField* fields, gsize count,
                              gpointer data) {
  if (level & G_LOG_LEVEL_ERROR) return g_log_writer_default(level, fields, count, data);
  return G_LOG_WRITER_HANDLED;
}

/// gtk_init_check with standard error on /dev/null: Xlib writes there itself
/// when a display refuses the connection (no key to it, say).
bool gtkStartedQuietly() {
  int savedError = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
  int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (savedError >= 0 && devNull >= 0) dup2(devNull, STDERR_FILENO);
  bool started = gtk_init_check();
  if (savedError >= 0 && devNull >= 0) dup2(savedError, STDERR_FILENO);
  for (int descriptor : {savedError, devNull})
    if (descriptor >= 0) close(descriptor);
  return started;
}

/// Starts GTK once per process; answers whether it runs on a display.
bool gtkRunning() {
  static const bool running = [] {
    g_log_set_writer_func(keepLogQuiet, nullptr, nullptr);
    if (!gtkStartedQuietly()) return false;
    adw_init();
    return true;
  }();
  return running;
}

/// The labels under `widget` that show text of the alert rather than a button title.
void collectTextLabels(GtkWidget* widget, std::vector<GtkLabel*>& labels) {
  if (GTK_IS_BUTTON(widget)) return;
  if (GTK_IS_LABEL(widget)) labels.push_back(GTK_LABEL(widget));
  for (GtkWidget* child = gtk_widget_get_first_child(widget); child;
       child = gtk_widget_get_next_sibling(child))
    collectTextLabels(child, labels);
}

/// Makes the heading and body selectable, so an error can be copied into a
/// report, and puts the style's icon above the heading. The dialog offers
/// neither, so both go through the labels it lays out itself; should those
/// ever change, the icon falls back to the extra child and the text simply
/// stays unselectable.
void decorate(AdwMessageDialog* dialog, const QrvxDialogRequest& request) {
  std::vector<GtkLabel*> labels;
  collectTextLabels(GTK_WIDGET(dialog), labels);
  GtkWidget* heading = nullptr;
  for (GtkLabel* label : labels) {
    std::string_view text = gtk_label_get_text(label);
    if (text == request.heading && !heading) heading = GTK_WIDGET(label);
    if (text == request.heading || (!text.empty() && text == request.body))
      gtk_label_set_selectable(label, TRUE);
  }
  GtkWidget* icon = gtk_image_new_from_icon_name(request.iconName);
  gtk_image_set_pixel_size(GTK_IMAGE(icon), 64);
  gtk_widget_set_margin_bottom(icon, 12);
  GtkWidget* area = heading ? gtk_widget_get_parent(heading) : nullptr;
  if (area && GTK_IS_BOX(area)) {
    gtk_box_insert_child_after(GTK_BOX(area), icon, nullptr);
  } else {
    adw_message_dialog_set_extra_child(dialog, icon);
  }
}

struct DialogAnswer {
  std::optional<std::string> response;
};

void rememberResponse(AdwMessageDialog*, const char* response, gpointer answer) {
  static_cast<DialogAnswer*>(answer)->response = response;
}

gboolean runIdle(gpointer request) {
  const auto* dialogRequest = static_cast<const QrvxDialogRequest*>(request);
  dialogRequest->idle(dialogRequest->idleContext);
  return G_SOURCE_CONTINUE;
}

long answerOf(const std::string& response, std::size_t buttonCount) {
  for (std::size_t i = 0; i < buttonCount; ++i)
    if (response == std::to_string(i)) return static_cast<long>(i);
  return -1;
}

}  // namespace

extern "C" long qrvxRunDesktopDialog(const QrvxDialogRequest* request) {
  if (!gtkRunning()) return -2;

  // Held by us as well as by GTK, so it outlives its own closing.
  auto* dialog = ADW_MESSAGE_DIALOG(g_object_ref(adw_message_dialog_new(
      nullptr, request->heading, *request->body ? request->body : nullptr)));
  gtk_window_set_title(GTK_WINDOW(dialog), request->windowTitle);
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
  const char* closeResponse = noButtonResponse;
  for (std::size_t i = 0; i < request->buttonCount; ++i) {
    std::string id = std::to_string(i);
    adw_message_dialog_add_response(dialog, id.c_str(), request->buttons[i]);
    if (static_cast<long>(i) == request->closeButton) closeResponse = g_intern_string(id.c_str());
  }
  // The default button stands out as it does in a macOS alert.
  adw_message_dialog_set_response_appearance(dialog, "0", ADW_RESPONSE_SUGGESTED);
  adw_message_dialog_set_default_response(dialog, "0");
  adw_message_dialog_set_close_response(dialog, closeResponse);
  decorate(dialog, *request);

  DialogAnswer answer;
  g_signal_connect(dialog, "response", G_CALLBACK(rememberResponse), &answer);
  guint idleSource = g_timeout_add(idleSliceMilliseconds, runIdle,
                                   const_cast<QrvxDialogRequest*>(request));
  gtk_window_present(GTK_WINDOW(dialog));
  // Selectable text would otherwise take the focus, all of it selected.
  gtk_window_set_focus(GTK_WINDOW(dialog), gtk_window_get_default_widget(GTK_WINDOW(dialog)));
  while (!answer.response) g_main_context_iteration(nullptr, TRUE);
  g_source_remove(idleSource);

  // Gone from the screen before the installer goes on.
  gtk_window_destroy(GTK_WINDOW(dialog));
  while (g_main_context_pending(nullptr)) g_main_context_iteration(nullptr, FALSE);
  gdk_display_sync(gdk_display_get_default());
  g_object_unref(dialog);
  return answerOf(*answer.response, request->buttonCount);
}
