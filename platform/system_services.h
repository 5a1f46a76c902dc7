#pragma once

// The services both systems provide in the same shape, declared once: the
// backend the build compiles (platform/host on Linux, platform/macos on the
// Mac) defines their members and the `State` of those that keep one, and
// platform/posix those that are the same call on both. What each system uses
// for them is said beside the backend's own name for the class.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix/posix_file_manager.h"
#include "platform/services.h"

namespace installer {

class SystemBundles final : public Bundles {
 public:
  std::optional<BundleContents> open(const FileURL& bundle) override;
  FileURL mainBundleURL() override;
  std::optional<FileURL> mainResourceURL() override;
};

/// The POSIX tasks of the shared layer, with the system's Trash and folders.
class SystemFileManager final : public posix::PosixFileManager {
 public:
  void trashItem(const FileURL& item) override;
  std::vector<FileURL> applicationSupportDirectories() override;
  std::string homeDirectory() override;
  /// `statvfs`, and whatever more the system knows of the volume.
  std::optional<VolumeStatus> volumeOf(const FileURL& item) override;
};

class SystemRunningApplications final : public RunningApplications {
 public:
  std::vector<RunningApplicationHandle> runningApplications(
      const std::string& bundleIdentifier) override;
};

/// The environment is `environ`'s on both systems.
class SystemProcessInfo final : public ProcessInfo {
 public:
  std::map<std::string, std::string> environment() override;
  double systemUptime() override;
  std::unique_ptr<Activity> beginActivity(const std::string& reason) override;
};

/// The main run loop.
class SystemRunLoop final : public RunLoop {
 public:
  SystemRunLoop();
  // The state's deleter was fixed where it was made, so its type may stay
  // incomplete here.
  ~SystemRunLoop() override = default;
  bool runOnce(double limitSeconds) override;
  void sleep(double seconds) override;
  void dispatchToMain(std::function<void()> block) override;

  /// What the loop shares with what reports into it (the blocks it queued,
  /// the threads of an operation still finishing), which may outlive it.
  struct State;
  const std::shared_ptr<State>& state() const { return state_; }

 private:
  std::shared_ptr<State> state_;
};

/// The current user's preferences. A change that cannot be stored makes the
/// next `synchronize` of its application answer false: reporting success
/// would lose it silently.
class SystemPreferences final : public Preferences {
 public:
  SystemPreferences();
  ~SystemPreferences() override;
  std::optional<PropertyValue> copyValue(const std::string& key,
                                         const std::string& application) override;
  void setValue(const std::string& key, const PropertyValue& value,
                const std::string& application) override;
  bool synchronize(const std::string& application) override;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

class SystemText final : public Text {
 public:
  std::string precomposed(const std::string& text) override;
  std::string lowercased(const std::string& text) override;
};

}  // namespace installer
