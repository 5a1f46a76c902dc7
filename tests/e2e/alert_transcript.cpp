#include "alert_transcript.h"

namespace e2e {

namespace {

constexpr std::string_view buttonsPrefix = "Buttons: ";

/// Position of the first line at or after `from` that starts with `prefix`.
std::size_t findLineStartingWith(std::string_view text, std::string_view prefix, std::size_t from) {
  for (std::size_t at = text.find(prefix, from); at != std::string_view::npos;
       at = text.find(prefix, at + 1)) {
    if (at == 0 || text[at - 1] == '\n') return at;
  }
  return std::string_view::npos;
}

/// "[[Default]] [Other] [Third]" -> titles, and which one was doubled.
void parseButtons(std::string_view line, Alert& alert) {
  std::size_t at = 0;
  while (at < line.size()) {
    if (line[at] == ' ') {
      ++at;
      continue;
    }
    bool doubled = line.substr(at).starts_with("[[");
    std::string_view open = doubled ? "[[" : "[";
    std::string_view close = doubled ? "]]" : "]";
    if (!line.substr(at).starts_with(open)) break;
    std::size_t end = line.find(close, at + open.size());
    if (end == std::string_view::npos) break;
    if (doubled && !alert.defaultButton) alert.defaultButton = alert.buttons.size();
    alert.buttons.emplace_back(line.substr(at + open.size(), end - at - open.size()));
    at = end + close.size();
  }
}

}  // namespace

std::optional<AlertMatch> findAlert(std::string_view terminal, std::size_t from,
                                    bool lineMayEndAtEnd) {
  std::size_t buttons = findLineStartingWith(terminal, buttonsPrefix, from);
  if (buttons == std::string_view::npos) return std::nullopt;
  std::size_t lineEnd = terminal.find('\n', buttons);
  if (lineEnd == std::string_view::npos && !lineMayEndAtEnd) return std::nullopt;
  std::size_t end = lineEnd == std::string_view::npos ? terminal.size() : lineEnd + 1;
  std::string_view buttonLine = terminal.substr(
      buttons + buttonsPrefix.size(),
      (lineEnd == std::string_view::npos ? terminal.size() : lineEnd) - buttons - buttonsPrefix.size());

  AlertMatch match;
  match.end = end;
  parseButtons(buttonLine, match.alert);

  // The first header line between the previous alert and this button line.
  std::size_t headerEnd = std::string_view::npos;
  for (std::size_t header = findLineStartingWith(terminal, "== ", from);
       header != std::string_view::npos && header < buttons;
       header = findLineStartingWith(terminal, "== ", header + 1)) {
    std::size_t close = terminal.find('\n', header);
    if (close == std::string_view::npos) break;
    std::string_view line = terminal.substr(header, close - header);
    if (line.size() >= 6 && line.ends_with(" ==")) {
      match.alert.messageText = std::string(line.substr(3, line.size() - 6));
      headerEnd = close + 1;
      break;
    }
  }
  if (headerEnd == std::string_view::npos) return match;
  std::string_view informative = terminal.substr(headerEnd, buttons - headerEnd);
  // The empty line before the buttons ends the informative text's last line.
  if (informative.ends_with("\n\n")) {
    informative.remove_suffix(2);
  } else if (informative.ends_with("\n")) {
    informative.remove_suffix(1);
  }
  match.alert.informativeText = std::string(informative);
  return match;
}

std::size_t countAlerts(std::string_view terminal) {
  std::size_t count = 0;
  for (std::size_t at = findLineStartingWith(terminal, buttonsPrefix, 0);
       at != std::string_view::npos; at = findLineStartingWith(terminal, buttonsPrefix, at + 1))
    ++count;
  return count;
}

}  // namespace e2e
