#include "helpers/link_escape.h"

#include <string_view>

namespace helpers {
namespace {

/// Adds the depth change of each component of `path` to `depth`; answers
/// false as soon as the walk climbs above the bundle root.
bool descend(std::string_view path, long& depth) {
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    std::string_view component = path.substr(start, end - start);
    if (component == "..") {
      if (--depth < 0) return false;
    } else if (!component.empty() && component != ".") {
      ++depth;
    }
    start = end + 1;
  }
  return true;
}

}  // namespace

bool linkLeadsOutside(const std::string& linkRelative, const std::string& target) {
  if (target.empty() || target.front() == '/') return true;
  long depth = 0;
  size_t slash = linkRelative.rfind('/');
  std::string_view directory =
      slash == std::string::npos ? std::string_view() : std::string_view(linkRelative).substr(0, slash);
  if (!descend(directory, depth)) return true;
  return !descend(target, depth);
}

}  // namespace helpers
