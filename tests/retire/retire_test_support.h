#pragma once

// Stand-ins for retirement tests: a file manager whose Trash is a folder of
// the test (or refuses), and system tools that record what they were asked.

#include <sys/stat.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/platform_error.h"
#include "tests/support/platform_test.h"

namespace installer::testing {

/// The real file manager, except for the home folder and the Trash.
class TestFileManager final : public FileManager {
 public:
  TestFileManager(FileManager& real, std::string home, std::string trash)
      : real_(real), home_(std::move(home)), trash_(std::move(trash)) {}

  void createDirectory(const FileURL& directory, bool withIntermediateDirectories,
                       std::optional<unsigned> posixPermissions) override {
    real_.createDirectory(directory, withIntermediateDirectories, posixPermissions);
  }
  void moveItem(const FileURL& from, const FileURL& to) override { real_.moveItem(from, to); }
  void removeItem(const FileURL& item) override { real_.removeItem(item); }
  /// Moves the item into the test's Trash folder under a numbered name, or
  /// refuses when told to.
  void trashItem(const FileURL& item) override {
    trashRequests_.push_back(item.path());
    if (trashRefuses_ || refused_.contains(item.path())) {
      throw PlatformError("Could not move " + item.path() + " to the Trash: Permission denied");
    }
    std::filesystem::create_directories(trash_);
    real_.moveItem(item, FileURL::fromAbsolutePath(
                             trash_ + "/" + std::to_string(trashed_.size()) + " " +
                             item.lastPathComponent()));
    trashed_.push_back(item.path());
  }
  void removeQuarantine(const FileURL& item) override {
    if (quarantineRefuses_) throw PlatformError("Could not remove the quarantine mark");
    real_.removeQuarantine(item);
  }
  std::vector<FileURL> contentsOfDirectory(const FileURL& directory) override {
    std::vector<FileURL> entries = real_.contentsOfDirectory(directory);
    if (afterListing_) afterListing_(directory.path());
    return entries;
  }
  std::vector<FileURL> contentsOfDirectoryIncludingHidden(const FileURL& directory) override {
    return real_.contentsOfDirectoryIncludingHidden(directory);
  }
  std::vector<FileURL> applicationSupportDirectories() override {
    return real_.applicationSupportDirectories();
  }
  std::string homeDirectory() override {
    if (homeFails_) throw PlatformError("Could not find the home folder");
    return home_;
  }
  std::optional<std::string> homeDirectoryOfUser(const std::string& user) override {
    return real_.homeDirectoryOfUser(user);
  }
  std::optional<VolumeStatus> volumeOf(const FileURL& item) override {
    return real_.volumeOf(item);
  }
  std::string currentDirectoryPath() override { return real_.currentDirectoryPath(); }

  bool trashRefuses_ = false;
  bool quarantineRefuses_ = false;
  bool homeFails_ = false;
  std::set<std::string> refused_;
  std::vector<std::string> trashRequests_;
  std::vector<std::string> trashed_;
  /// Runs after each listing, with the folder listed: a change made from
  /// outside between a listing and what follows it.
  std::function<void(const std::string&)> afterListing_;

 private:
  FileManager& real_;
  std::string home_;
  std::string trash_;
};

/// Runs the tools from the test's helpers folder: an `lsregister` script that
/// logs its arguments and exits with the status the test chose, and a
/// `codesign` that logs its runs and then is the real one.
class TestTools final : public ChildProcesses {
 public:
  explicit TestTools(const std::string& root)
      : folder_(root + "/helpers"), tools_(folder_) {
    std::filesystem::create_directories(folder_);
    script("lsregister", "printf '[%s]' \"$@\" >> '" + log("lsregister") + "'\necho >> '" +
                             log("lsregister") + "'\nexit $(cat '" + folder_ +
                             "/lsregister.status' 2>/dev/null || echo 0)");
    script("codesign", "echo >> '" + log("codesign") + "'\nexec '" + std::string(HELPERS_DIR) +
                           "/codesign' \"$@\"");
  }

  int run(const std::string& executable, const std::vector<std::string>& arguments) override {
    int status = tools_.run(executable, arguments);
    if (afterRun_) afterRun_(arguments);
    return status;
  }

  /// The exit status of every later registration-tool run.
  void registrationStatus(int status) {
    writeFile(folder_ + "/lsregister.status", std::to_string(status) + "\n");
  }
  /// Takes the registration tool away, so that it cannot be started.
  void removeRegistrationTool() { std::filesystem::remove(folder_ + "/lsregister"); }
  /// One line per registration-tool run: "[-u][PATH]".
  std::vector<std::string> registrations() const { return lines(log("lsregister")); }
  int signatureChecks() const { return static_cast<int>(lines(log("codesign")).size()); }
  /// Starts both logs afresh.
  void forgetRuns() {
    std::filesystem::remove(log("lsregister"));
    std::filesystem::remove(log("codesign"));
  }

  /// Runs after each tool has exited, with its arguments.
  std::function<void(const std::vector<std::string>&)> afterRun_;

 private:
  std::string log(const std::string& tool) const { return folder_ + "/" + tool + ".log"; }
  void script(const std::string& tool, const std::string& body) {
    const std::string path = folder_ + "/" + tool;
    writeFile(path, "#!/bin/sh\n" + body + "\n");
    ::chmod(path.c_str(), 0755);
  }
  static std::vector<std::string> lines(const std::string& path) {
    std::vector<std::string> found;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) found.push_back(line);
    return found;
  }

  std::string folder_;
  host::HostChildProcesses tools_;
};

/// `path` as a file URL string, every byte outside the unreserved set escaped.
inline std::string fileURLString(const std::string& path) {
  static const char hex[] = "0123456789ABCDEF";
  std::string text = "file://";
  for (unsigned char byte : path) {
    if (std::isalnum(byte) || byte == '/' || byte == '-' || byte == '_' || byte == '.' ||
        byte == '~') {
      text += static_cast<char>(byte);
    } else {
      text += '%';
      text += hex[byte >> 4];
      text += hex[byte & 15];
    }
  }
  return text;
}

/// A platform test whose Trash, home folder and tools are the ones above.
class RetireTest : public PlatformTest {
 protected:
  RetireTest() {
    std::filesystem::create_directories(root() + "/home");
    files_ = std::make_unique<TestFileManager>(hostFiles_, root() + "/home", root() + "/Trash");
    tools_ = std::make_unique<TestTools>(root());
    services_.files = files_.get();
    services_.childProcesses = tools_.get();
    installServices(services_);
  }

  /// A sealed browser bundle of `version` at `relative` in the test's folder.
  FileURL bundle(const std::string& relative, const std::string& version) {
    makeBundle(root() + "/" + relative, {.version = PropertyValue(version)});
    return url(relative);
  }
  /// "[option][path]", as the registration tool logs a run.
  static std::string registration(const std::string& option, const FileURL& location) {
    return "[" + option + "][" + location.path() + "]";
  }

  std::unique_ptr<TestFileManager> files_;
  std::unique_ptr<TestTools> tools_;
};

}  // namespace installer::testing
