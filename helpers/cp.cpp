// The host stand-in for cp: `cp -cRpP SRC DST`, as the installer uses it.
//
// The copy never replaces anything: DST must not exist (it becomes the
// copy), or be a directory (the copy becomes DST/basename(SRC), which must
// not exist). A copy that fails part-way is removed again, so that nothing at
// the destination can pass for a finished copy.

#include <fcntl.h>
#include <getopt.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "helpers/system_failure.h"
#include "helpers/tree_copy.h"
#include "helpers/tree_removal.h"
#include "helpers/unique_fd.h"

namespace {

constexpr int exitFailure = 1;
constexpr int exitUsage = 2;

struct CommandLine {
  std::string source;
  std::string destination;
};

/// The operands when the flags are those of a recursive copy that keeps
/// attributes and links (-R -p -P, -c optional, in any grouping); nothing else
/// is understood.
std::optional<CommandLine> parseCommandLine(int argc, char** argv) {
  bool recursive = false, preserve = false, physical = false;
  int choice;
  while ((choice = getopt(argc, argv, "+cRpP")) != -1) {
    switch (choice) {
      case 'c': break;  // Cloning is always tried first.
      case 'R': recursive = true; break;
      case 'p': preserve = true; break;
      case 'P': physical = true; break;
      default: return std::nullopt;
    }
  }
  if (!recursive || !preserve || !physical || argc - optind != 2) return std::nullopt;
  return CommandLine{argv[optind], argv[optind + 1]};
}

std::string withoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string lastComponent(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string parentOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::optional<std::string> resolvedPath(const std::string& path) {
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) == nullptr) return std::nullopt;
  return std::string(resolved);
}

/// Where the copy goes: DST, or DST/basename(SRC) when DST is a directory.
/// Throws SystemFailure when that place is taken or cannot be named.
std::string targetPath(const std::string& source, const std::string& destination) {
  struct stat status;
  if (::stat(destination.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
    std::string name = lastComponent(withoutTrailingSlashes(source));
    if (name.empty() || name == "." || name == ".." || name == "/")
      throw helpers::SystemFailure(helpers::printablePath(source) + ": cannot name its copy in a directory");
    const std::string directory = withoutTrailingSlashes(destination);
    return directory == "/" ? "/" + name : directory + "/" + name;
  }
  if (::lstat(destination.c_str(), &status) == 0) helpers::throwSystemFailure("create", destination, EEXIST);
  if (errno != ENOENT) helpers::throwSystemFailure("lstat", destination, errno);
  return withoutTrailingSlashes(destination);
}

/// Throws when `parent`, where the copy of the directory `source` would be
/// made, lies inside `source`: the copy would never end.
void refuseCopyIntoItself(const std::string& source, const std::string& parent) {
  std::optional<std::string> resolvedSource = resolvedPath(source);
  std::optional<std::string> resolvedParent = resolvedPath(parent);
  if (!resolvedSource || !resolvedParent) return;
  const std::string& inner = *resolvedParent;
  const std::string prefix = *resolvedSource == "/" ? "/" : *resolvedSource + "/";
  if (inner == *resolvedSource || inner.starts_with(prefix))
    throw helpers::SystemFailure(helpers::printablePath(source) + ": cannot copy a directory into itself");
}

int copy(const CommandLine& command) {
  const std::string& source = command.source;
  struct stat status;
  if (::lstat(source.c_str(), &status) != 0) helpers::throwSystemFailure("lstat", source, errno);
  const std::string target = targetPath(source, command.destination);
  const std::string parent = parentOf(target);
  const std::string name = lastComponent(target);
  if (S_ISDIR(status.st_mode)) refuseCopyIntoItself(source, parent);
  helpers::UniqueFd parentFd(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!parentFd) helpers::throwSystemFailure("open", parent, errno);

  bool created = false;
  try {
    helpers::copyTree(source, parentFd.get(), name, target, created);
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "cp: %s\n", failure.what());
    if (created) helpers::removeTree(parentFd.get(), name.c_str(), target);
    return exitFailure;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::optional<CommandLine> command = parseCommandLine(argc, argv);
  if (!command) {
    std::fputs("usage: cp -cRpP SRC DST\n", stderr);
    return exitUsage;
  }
  try {
    return copy(*command);
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "cp: %s\n", failure.what());
    return exitFailure;
  }
}
