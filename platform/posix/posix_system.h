#pragma once

// The POSIX layer under both backends: what the host and the Mac do with the
// same calls is written once here. Where the systems differ in a call or a
// flag, system_calls.h declares one small function that linux/ and apple/
// each define; the build file picks the folder.

#include <map>
#include <string>
#include <vector>

#include "platform/child_processes.h"
#include "platform/durability.h"
#include "platform/posix.h"
#include "platform/uuids.h"

namespace installer::posix {

/// The system's text for an errno value, safe on any thread.
std::string errorText(int error);
/// Throws PlatformError "`what`: `errorText(error)`".
[[noreturn]] void fail(const std::string& what, int error);
/// Whether `path`, links followed, is a directory.
bool isDirectory(const std::string& path);
/// The home folder the password database gives `user`; nothing, with the
/// lookup's error in `failure` where given, when it has none.
std::optional<std::string> homeOfUserIdentifier(std::uint32_t user, int* failure);
/// Our environment, each name with the value `getenv` answers.
std::map<std::string, std::string> environmentVariables();
/// Whether the process `processIdentifier` is gone: a number nobody holds now.
bool processHasEnded(int processIdentifier);
/// Sleeps `seconds`, through interruptions; a negative or NaN time, none.
void sleepFor(double seconds);
/// Whether something is at `path` that is not a real folder (never a link)
/// of `user` closed to the writes of everyone else, or that cannot be looked
/// at. Nothing at all is not: the system makes such a folder when it needs it.
bool isUnsafePrivateFolder(const std::string& path, std::uint32_t user);

class PosixSystem final : public Posix {
 public:
  std::optional<FileStatus> lstat(const std::string& path) override;
  std::optional<std::string> realpath(const std::string& path) override;
  /// fts, physical.
  bool visitTree(const std::string& root,
                 const std::function<bool(const std::string&, const FileStatus&)>& visit) override;
  std::optional<std::string> sha256OfFile(const std::string& path) override;
  int openDirectory(const std::string& path) override;
  int openDirectoryAt(int parent, const std::string& name) override;
  std::optional<FileStatus> fstat(int descriptor) override;
  std::optional<FileStatus> lstatAt(int parent, const std::string& name) override;
  int makeDirectoryAt(int parent, const std::string& name, std::uint32_t mode) override;
  int exchangeAt(int firstParent, const std::string& firstName, int secondParent,
                 const std::string& secondName) override;
  int moveAt(int fromParent, const std::string& fromName, int toParent,
             const std::string& toName) override;
  int removeTreeAt(int parent, const std::string& name, const FileStatus& expected) override;
  bool lockExclusiveNonBlocking(int descriptor) override;
  void close(int descriptor) override;
  std::uint32_t getuid() override;
  int kill(int processIdentifier, int signal) override;
  int exchange(const std::string& first, const std::string& second) override;
  int symbolicLink(const std::string& target, const std::string& path) override;
  std::string strerror(int error) override;
  void writeStandardError(const std::string& text) override;
  [[noreturn]] void exit(int status) override;
};

/// posix_spawn of the program at the path given, as a shell would start it;
/// the error names the path and carries the system's text.
class PosixChildProcesses final : public ChildProcesses {
 public:
  int run(const std::string& executable, const std::vector<std::string>& arguments) override;
};

/// libuuid on Linux, the C library's on macOS.
class PosixUUIDs final : public UUIDs {
 public:
  std::string newUUIDString() override;
};

/// `fsync` of every folder, then the flush of the drive's cache where the
/// system's `fsync` leaves data there (macOS); a tree the system's way:
/// one `syncfs` on Linux, an `fsync` of every item and a barrier on macOS.
class PosixDurability final : public Durability {
 public:
  void flushTree(const FileURL& item) override;
  void flushDirectories(const std::vector<FileURL>& directories) override;
};

}  // namespace installer::posix
