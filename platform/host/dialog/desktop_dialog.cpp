// The desktop dialog helper: shows one alert as libadwaita's message dialog
// and reports the answer on standard output. It runs as a process of its own
// so that the installer never loads GTK and outlives whatever happens to the
// display: GTK ends its process when the display goes away.
//
//   desktop-dialog WINDOW-TITLE ICON-NAME CLOSE-BUTTON HEADING BODY BUTTON...
//
// CLOSE-BUTTON is the index of the button that Escape and closing the window
// answer, -1 for none; BODY may be empty. One line reports the end:
// "answer N" (the index of the button), "closed" (closed with no close
// button) or "error REASON"; with none, the dialog did not end by itself.
#include "platform/host/dialog/desktop_dialog.h"

#include <adwaita.h>
#include <glib-unix.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Not a number, so it is never one of the buttons' responses.
constexpr const char* noButtonResponse = "close";

struct Request {
  const char* windowTitle;
  const char* iconName;
  long closeButton;
  const char* heading;
  const char* body;
  std::vector<const char*> buttons;
};

std::optional<Request> requestOf(int argc, char** argv) {
  if (argc < 7) return std::nullopt;
  char* end = nullptr;
  long closeButton = std::strtol(argv[3], &end, 10);
  if (*end || closeButton < -1 || closeButton >= argc - 6) return std::nullopt;
  return Request{argv[1], argv[2], closeButton,
                 argv[4], argv[5], std::vector<const char*>(argv + 6, argv + argc)};
}

/// Writes the one report line and ends the helper.
[[noreturn]] void report(const std::string& line) {
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
  std::_Exit(0);
}

// GTK and GLib report plenty (a missing settings backend, an absent
// accessibility bus) that is of no use to anyone watching the installer.
GLogWriterOutput keepLogQuiet(GLogLevelFlags level, const GLogField* fields, gsize count,
                              gpointer data) {
  if (level & G_LOG_LEVEL_ERROR) return g_log_writer_default(level, fields, count, data);
  return G_LOG_WRITER_HANDLED;
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
void decorate(AdwMessageDialog* dialog, const Request& request) {
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

void rememberResponse(AdwMessageDialog*, const char* response, gpointer answer) {
  *static_cast<std::optional<std::string>*>(answer) = response;
}

/// The installer closed its end of the report: nobody waits for an answer.
gboolean installerGone(gint, GIOCondition, gpointer) { std::_Exit(0); }

}  // namespace

int main(int argc, char** argv) {
  std::optional<Request> request = requestOf(argc, argv);
  if (!request) report(std::string(dialogFailed) + "malformed request");
  g_unix_fd_add(STDOUT_FILENO, static_cast<GIOCondition>(G_IO_ERR | G_IO_HUP), installerGone,
                nullptr);
  g_log_set_writer_func(keepLogQuiet, nullptr, nullptr);
  if (!gtk_init_check()) report(std::string(dialogFailed) + "GTK could not open the display");
  adw_init();

  auto* dialog = ADW_MESSAGE_DIALOG(
      adw_message_dialog_new(nullptr, request->heading, *request->body ? request->body : nullptr));
  gtk_window_set_title(GTK_WINDOW(dialog), request->windowTitle);
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
  const char* closeResponse = noButtonResponse;
  for (std::size_t i = 0; i < request->buttons.size(); ++i) {
    std::string id = std::to_string(i);
    adw_message_dialog_add_response(dialog, id.c_str(), request->buttons[i]);
    if (static_cast<long>(i) == request->closeButton) closeResponse = g_intern_string(id.c_str());
  }
  // The default button stands out as it does in a macOS alert.
  adw_message_dialog_set_response_appearance(dialog, "0", ADW_RESPONSE_SUGGESTED);
  adw_message_dialog_set_default_response(dialog, "0");
  adw_message_dialog_set_close_response(dialog, closeResponse);
  decorate(dialog, *request);

  std::optional<std::string> answer;
  g_signal_connect(dialog, "response", G_CALLBACK(rememberResponse), &answer);
  gtk_window_present(GTK_WINDOW(dialog));
  // Selectable text would otherwise take the focus, all of it selected.
  gtk_window_set_focus(GTK_WINDOW(dialog), gtk_window_get_default_widget(GTK_WINDOW(dialog)));
  while (!answer) g_main_context_iteration(nullptr, TRUE);

  // Gone from the screen before the installer goes on.
  gtk_window_destroy(GTK_WINDOW(dialog));
  while (g_main_context_pending(nullptr)) g_main_context_iteration(nullptr, FALSE);
  gdk_display_sync(gdk_display_get_default());
  if (*answer == noButtonResponse) report(dialogClosed);
  report(dialogAnswered + *answer);
}
