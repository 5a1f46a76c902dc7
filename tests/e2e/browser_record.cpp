#include "browser_record.h"

#include <algorithm>
#include <sstream>

#include "common.h"

namespace e2e {

namespace {

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string::size_type start = 0;
  while (start < text.size()) {
    std::string::size_type end = text.find(separator, start);
    if (end == std::string::npos) end = text.size();
    parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

std::string firstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

}  // namespace

std::vector<std::string> BrowserRecord::events() const {
  std::error_code error;
  if (!fs::exists(folder_ / "events", error)) return {};
  return split(readFile(folder_ / "events"), '\n');
}

std::vector<pid_t> BrowserRecord::noting(std::string_view event) const {
  const std::string prefix = std::string(event) + " ";
  std::vector<pid_t> pids;
  for (const auto& line : events())
    if (line.starts_with(prefix))
      pids.push_back(static_cast<pid_t>(std::stol(line.substr(prefix.size()))));
  return pids;
}

std::vector<std::string> BrowserRecord::lifecycle() const {
  std::vector<std::string> lines = events();
  std::erase_if(lines, [](const std::string& line) {
    return line.starts_with("SPAWN ") || line.starts_with("END ");
  });
  return lines;
}

int BrowserRecord::count(std::string_view event, pid_t pid) const {
  std::string wanted = std::string(event) + " " + std::to_string(pid);
  auto all = events();
  return static_cast<int>(std::count(all.begin(), all.end(), wanted));
}

BrowserStart BrowserRecord::start(pid_t pid) const {
  fs::path instance = folder_ / std::to_string(pid);
  std::error_code error;
  if (!fs::is_directory(instance, error))
    throw HarnessError("no start of pid " + std::to_string(pid) + " recorded in " + folder_.string());
  BrowserStart start;
  start.pid = pid;
  for (const auto& entry : split(readFile(instance / "environment"), '\0')) {
    auto equals = entry.find('=');
    if (equals != std::string::npos) start.environment[entry.substr(0, equals)] = entry.substr(equals + 1);
  }
  start.arguments = split(readFile(instance / "arguments"), '\0');
  if (!start.arguments.empty()) start.arguments.erase(start.arguments.begin());
  start.session = static_cast<pid_t>(std::stol(readFile(instance / "session")));
  start.parent = static_cast<pid_t>(std::stol(readFile(instance / "parent")));
  start.workingDirectory = firstLine(readFile(instance / "cwd"));
  start.executable = firstLine(readFile(instance / "exe"));
  start.descriptors = split(readFile(instance / "fds"), '\n');
  std::sort(start.descriptors.begin(), start.descriptors.end(), [](const auto& a, const auto& b) {
    return std::stol(a) < std::stol(b);
  });
  return start;
}

BrowserStart BrowserRecord::waitForStarts(std::size_t count, std::chrono::milliseconds limit) const {
  return start(waitForNoted("START", count, limit)[count - 1]);
}

std::vector<pid_t> BrowserRecord::waitForNoted(std::string_view event, std::size_t count,
                                               std::chrono::milliseconds limit) const {
  std::vector<pid_t> pids;
  if (!waitUntil([&] {
        pids = noting(event);
        return pids.size() >= count;
      }, limit)) {
    std::ostringstream lines;
    for (const auto& line : events()) lines << line << "\n";
    throw HarnessError("expected " + std::to_string(count) + " " + std::string(event) +
                       " event(s) in " + folder_.string() + ", events so far:\n" + lines.str());
  }
  return pids;
}

bool BrowserRecord::waitForEvent(std::string_view event, pid_t pid,
                                 std::chrono::milliseconds limit) const {
  return waitUntil([&] { return this->count(event, pid) > 0; }, limit);
}

}  // namespace e2e
