// Locations whose names a shell, an option parser or a line-based file would
// take apart: spaces, quotes, a line feed, a leading dash, backslashes,
// Chinese and decomposed accents. The installer hands each path to the system
// tools as one argument of its own, and every message shows it byte for byte
// as it lies on disk (the comparisons compose accents; the messages do not).
//
// The tools of these runs log their argument vectors, NUL-separated, before
// they become the real ones.

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>

#include "dock_preferences.h"
#include "failure_report.h"
#include "harness.h"
#include "installation_steps.h"
#include "launch_registry.h"
#include "spawn.h"
#include "trash_contents.h"

namespace e2e {
namespace {

using Arguments = std::vector<std::string>;

struct HostileName {
  const char* why;
  /// A folder name put into every location of the run.
  std::string component;
  /// The locations are handed over relative to the sandbox, so that the
  /// installer's own arguments begin with the name.
  bool relative = false;
  /// The data root as the user typed it, when it differs from the folder on
  /// disk only in its composition.
  std::string composedComponent = component;
};

const std::vector<HostileName>& hostileNames() {
  static const std::vector<HostileName> names = {
      {"spaces", "a b  c "},
      {"single quotes", "it's 'quoted'"},
      {"double quotes", "say \"hi\" \"\""},
      {"a line feed", "first\nsecond"},
      {"a leading dash", "-rf --deep", true},
      {"backslashes, one before an n", "back\\slash\\n\\"},
      {"Chinese", "下载 文件夹"},
      // "Café résumé" with every accent a combining mark after its letter.
      {"combining accents", "Cafe\xCC\x81 re\xCC\x81sume\xCC\x81", false,
       "Caf\xC3\xA9 r\xC3\xA9sum\xC3\xA9"},
      {"all of them, after a dash", "-x 'a\"b\\n\nc' 下载 e\xCC\x81", true},
      {"terminal escapes: a title, a bell, a clear screen", "\x1b]0;owned\x07\x1b[2J"},
  };
  return names;
}

/// A path as alerts and the failure line show it: line feeds escaped, other
/// control characters as U+FFFD.
std::string shown(const fs::path& path) {
  std::string text;
  for (char c : path.string()) {
    if (c == '\n') {
      text += "\\n";
    } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
      text += "\xEF\xBF\xBD";
    } else {
      text += c;
    }
  }
  return text;
}

const std::vector<std::string> tools = {"cp", "codesign", "lsregister"};

/// An installer bundle whose tools append "$#" and "$@", each ended by a
/// NUL, to $E2E_TOOL_LOG/<tool>, then run the real tool.
fs::path loggingInstaller(const Sandbox& sandbox) {
  const fs::path installer = copyInstallerBundle(sandbox.path("installer/QuorvaneInstaller.app"));
  for (const std::string& tool : tools) {
    replaceHelper(installer, tool,
                  "#!/bin/sh\n"
                  "printf '%s\\0' \"$#\" \"$@\" >> \"$E2E_TOOL_LOG/" + tool + "\"\n"
                  "exec '" + helperPath(builtInstallerBundle(), tool).string() + "' \"$@\"\n");
  }
  return installer;
}

/// The argument vectors `tool` was started with, in order.
std::vector<Arguments> toolCalls(const fs::path& log, const std::string& tool) {
  std::vector<Arguments> calls;
  std::error_code error;
  if (!fs::exists(log / tool, error)) return calls;
  const std::string content = readFile(log / tool);
  std::vector<std::string> fields;
  for (std::size_t start = 0; start < content.size();) {
    std::size_t end = content.find('\0', start);
    if (end == std::string::npos) throw HarnessError(tool + " log ends inside a field");
    fields.push_back(content.substr(start, end - start));
    start = end + 1;
  }
  for (std::size_t at = 0; at < fields.size();) {
    const std::size_t count = std::stoul(fields[at]);
    if (at + 1 + count > fields.size()) throw HarnessError(tool + " log ends inside a call");
    calls.emplace_back(fields.begin() + static_cast<long>(at + 1),
                       fields.begin() + static_cast<long>(at + 1 + count));
    at += 1 + count;
  }
  return calls;
}

std::string shownCalls(const std::vector<Arguments>& calls) {
  std::string text;
  for (const Arguments& call : calls) {
    text += "\n ";
    for (const std::string& argument : call) text += " [" + visible(argument) + "]";
  }
  return text;
}

void expectCalls(const fs::path& log, const std::string& tool,
                 const std::vector<Arguments>& expected) {
  const std::vector<Arguments> calls = toolCalls(log, tool);
  EXPECT_EQ(calls, expected) << tool << " was run with" << shownCalls(calls) << "\nexpected"
                             << shownCalls(expected);
}

Arguments verification(const fs::path& bundle) {
  return {"--verify", "--deep", "--strict", bundle.string()};
}

/// Where the case's locations lie, and how the installer is told of them.
struct Locations {
  fs::path folder;  ///< sandbox/<name>
  fs::path log;

  fs::path source() const { return folder / ("new " + folder.filename().string()) / browserBundle; }
  fs::path apps() const { return folder / ("apps " + folder.filename().string()); }
  fs::path destination() const { return apps() / browserBundle; }
  fs::path neighbour() const { return apps() / (std::string(browserName) + " 1.0.app"); }
  fs::path current() const { return folder / "old" / browserBundle; }
  fs::path missing() const { return folder / "gone" / browserBundle; }
};

Locations locationsOf(const Sandbox& sandbox, const HostileName& name) {
  Locations locations{sandbox.path(name.component), sandbox.path("tool-log")};
  fs::create_directories(locations.log);
  return locations;
}

/// `location` as handed to the installer: relative to the sandbox when asked.
std::string argument(const Sandbox& sandbox, const HostileName& name, const fs::path& location) {
  return name.relative ? location.lexically_relative(sandbox.root()).string() : location.string();
}

/// One update across hostile locations: an older copy installed, another
/// beside it and a current copy elsewhere, all three of which the Trash
/// refuses, so that the final alert lists them.
struct HostileUpdate {
  const HostileName* name = nullptr;
  std::unique_ptr<Sandbox> sandbox;
  Locations at;
  fs::path record;
  std::optional<InstallerRun> run;
  /// A step failed: the later ones would only wait for what cannot come.
  bool failed = false;
};

void startUpdate(HostileUpdate& update, const fs::path& installer) {
  const HostileName& name = *update.name;
  update.sandbox = std::make_unique<Sandbox>();
  const Sandbox& sandbox = *update.sandbox;
  const Locations& at = update.at = locationsOf(sandbox, name);
  update.record = sandbox.path("new-record");
  makeBundle(at.source(), {.record = update.record});
  makeBundle(at.destination(), {.version = std::string("2.0")});
  makeBundle(at.neighbour(), {.version = std::string("1.0")});
  makeBundle(at.current(), {.version = std::string("1.5")});
  // GIO makes no Trash where a file stands.
  writeFile(sandbox.dataHome() / "Trash", "not a folder\n");
  // Naming a current copy also keeps the run to the browsers of its own sandbox.
  const Arguments arguments = {"--source", argument(sandbox, name, at.source()),
                               "--destination", argument(sandbox, name, at.destination()),
                               "--current-app", argument(sandbox, name, at.current())};
  if (name.relative) {
    EXPECT_TRUE(arguments[1].starts_with("-")) << arguments[1];
  }
  update.run.emplace(InstallerRun::start(
      sandbox, {.arguments = arguments,
                .extraEnvironment = {{"E2E_TOOL_LOG", at.log.string()}},
                .installerBundle = installer}));
}

void confirmUpdate(HostileUpdate& update) {
  const Locations& at = update.at;
  Alert confirmation = update.run->waitForAlert();
  EXPECT_TRUE(confirmation.informativeText.starts_with(
      "安装位置\n" + shown(at.destination()) + "\n\n当前副本 1.5\n" + shown(at.current()) + "\n\n"))
      << visible(confirmation.informativeText);
  update.run->press(returnKey);
}

void expectUpdateReport(HostileUpdate& update) {
  const Locations& at = update.at;
  InstallerRun& run = *update.run;
  Alert report = run.waitForAlert();
  const std::vector<Arguments> copies = toolCalls(at.log, "cp");
  ASSERT_EQ(copies.size(), 1u) << shownCalls(copies);
  ASSERT_EQ(copies[0].size(), 3u) << shownCalls(copies);
  const fs::path staged = copies[0][2];
  EXPECT_EQ(staged.filename(), browserBundle);
  EXPECT_EQ(staged.parent_path().parent_path(), at.apps());
  EXPECT_TRUE(isStagingFolderName(staged.parent_path().filename().string())) << staged;
  EXPECT_EQ(report.messageText, "新版已安装");
  EXPECT_EQ(report.informativeText, "以下旧应用暂未能移到废纸篓。\n" + shown(staged) + "\n" +
                                        shown(at.current()) + "\n" + shown(at.neighbour()))
      << visible(report.informativeText);
  run.press(returnKey);
  RunResult result = run.finish();
  EXPECT_EQ(result.exitStatus, 0);
  // lsregister refuses paths with control characters an entry cannot hold, escaped.
  const bool registrable = update.name->component.find_first_of("\x07\x1b") == std::string::npos;
  EXPECT_EQ(result.standardError.find_first_of("\x07\x1b"), std::string::npos);
  EXPECT_TRUE(!registrable || result.standardError.empty()) << result.standardError;
  EXPECT_EQ(result.standardOutput, "");

  expectCalls(at.log, "cp", {{"-cRpP", at.source().string(), staged.string()}});
  expectCalls(at.log, "codesign",
              {verification(at.source()), verification(at.destination()),
               verification(at.current()), verification(staged), verification(at.neighbour())});
  // None of the three was registered, so none is registered after the failed moves.
  expectCalls(
      at.log, "lsregister",
      {{"-u", staged.string()}, {"-u", at.current().string()}, {"-u", at.neighbour().string()}});
  if (registrable) {
    EXPECT_EQ(registeredBundles(*update.sandbox), Arguments{at.destination().string()});
    expectDesktopEntry(*update.sandbox, at.destination());
  }
  // The record keeps the executable as a line of its own, which a line feed
  // in the path would split: the kernel's word is taken instead.
  const pid_t browser = BrowserRecord(update.record).waitForStarts(1).pid;
  EXPECT_EQ(fs::read_symlink("/proc/" + std::to_string(browser) + "/exe"),
            at.destination() / "Contents/MacOS" / browserName);
  EXPECT_TRUE(bundleVerifies(at.destination()));
}

TEST(HostilePaths, ReachTheToolsWholeAndAppearUnchangedThroughAnUpdate) {
  Sandbox toolsSandbox;
  const fs::path installer = loggingInstaller(toolsSandbox);
  // The updates run side by side, each in a sandbox of its own: most of the
  // time of each is its launch watch.
  std::vector<HostileUpdate> updates(hostileNames().size());
  for (std::size_t index = 0; index < updates.size(); ++index) {
    updates[index].name = &hostileNames()[index];
  }
  auto eachUpdate = [&](const std::function<void(HostileUpdate&)>& step) {
    for (HostileUpdate& update : updates) {
      SCOPED_TRACE(std::string(update.name->why) + ": " + visible(update.name->component));
      if (update.failed) continue;
      const ::testing::TestResult& result =
          *::testing::UnitTest::GetInstance()->current_test_info()->result();
      const int failuresBefore = result.total_part_count();
      runCase([&] { step(update); });
      update.failed = result.total_part_count() != failuresBefore;
    }
  };
  eachUpdate([&](HostileUpdate& update) { startUpdate(update, installer); });
  eachUpdate(confirmUpdate);
  eachUpdate(expectUpdateReport);
}

TEST(HostilePaths, AppearUnchangedInRefusals) {
  Sandbox toolsSandbox;
  const fs::path installer = loggingInstaller(toolsSandbox);
  for (const HostileName& name : hostileNames()) {
    SCOPED_TRACE(std::string(name.why) + ": " + visible(name.component));
    runCase([&] {
      Sandbox sandbox;
      const Locations at = locationsOf(sandbox, name);
      const fs::path source = makeBundle(at.source());
      const fs::path current = makeBundle(at.current(), {.version = std::string("1.0")});
      fs::create_directories(at.apps());
      auto run = [&](const Arguments& arguments, Environment environment = {}) {
        fs::remove_all(at.log);
        fs::create_directories(at.log);
        environment["E2E_TOOL_LOG"] = at.log.string();
        return InstallerRun::start(sandbox, {.arguments = arguments,
                                             .extraEnvironment = environment,
                                             .installerBundle = installer});
      };
      // Naming the current copy keeps browsers that run elsewhere out of these runs.
      const Arguments install = {"--source", argument(sandbox, name, source), "--destination",
                                 argument(sandbox, name, at.destination()), "--current-app",
                                 argument(sandbox, name, current)};
      const TreeSnapshot before = snapshotTree(at.folder);

      {
        SCOPED_TRACE("the data root is the installation folder, as typed");
        const fs::path typedRoot =
            sandbox.path(name.composedComponent) / ("apps " + name.composedComponent);
        InstallerRun refused = run(install, {{"QRVX_DATA_ROOT", typedRoot.string()}});
        expectFailureReport(refused, "应用路径与浏览器资料目录重叠。\n" + shown(at.destination()));
        expectCalls(at.log, "codesign", {verification(source), verification(current)});
      }
      {
        SCOPED_TRACE("the current copy is missing");
        Arguments arguments = install;
        arguments.back() = argument(sandbox, name, at.missing());
        InstallerRun refused = run(arguments);
        expectFailureReport(refused, "不是可识别的Quorvane浏览器应用包。\n" + shown(at.missing()));
        expectCalls(at.log, "codesign", {verification(source)});
      }
      EXPECT_EQ(treeDifferences(before, snapshotTree(at.folder)), "");
      {
        SCOPED_TRACE("the new bundle fails verification");
        writeFile(source / "Contents/Resources/added.txt", "added after the seal");
        InstallerRun refused = run(install);
        expectFailureReport(refused, "应用签名校验失败。\n" + shown(source),
                            ToolDiagnostics::mayPrecede);
        expectCalls(at.log, "codesign", {verification(source)});
        expectCalls(at.log, "cp", {});
      }
      EXPECT_TRUE(fs::is_empty(at.apps()));
    });
  }
}

/// The second user of the rows that need one, made as the real-browser lane
/// makes it (as_test_user.sh); none without root, which alone can act as another.
std::optional<std::pair<uid_t, gid_t>> otherUser() {
  if (::geteuid() != 0) return std::nullopt;
  if (!::getpwnam("qrvx-tests"))
    runTool("/usr/sbin/useradd",
            {"--system", "--user-group", "--no-create-home", "--home-dir", "/nonexistent",
             "--shell", "/usr/sbin/nologin", "qrvx-tests"},
            toolEnvironment());
  const passwd* user = ::getpwnam("qrvx-tests");
  if (!user) throw HarnessError("cannot make the user qrvx-tests");
  return std::pair{user->pw_uid, user->pw_gid};
}

/// A process of another user that, once this returns, exchanges each entry
/// made in `folder` for a folder of its own the moment inotify tells of it.
class Swapper {
 public:
  Swapper(const fs::path& folder, std::pair<uid_t, gid_t> user) {
    int ready[2];
    if (::pipe(ready) != 0 || (pid_ = ::fork()) < 0) throw HarnessError("pipe or fork failed");
    if (pid_ == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      // Opened before the identity is dropped: the sandbox above is closed to
      // that user; the folder itself is what they may write.
      const int events = ::inotify_init1(0), at = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
      if (::inotify_add_watch(events, folder.c_str(), IN_CREATE) < 0 || at < 0 ||
          ::setgroups(0, nullptr) != 0 || ::setgid(user.second) != 0 || ::setuid(user.first) != 0 ||
          ::mkdirat(at, ".theirs", 0755) != 0 || ::write(ready[1], "", 1) != 1)
        ::_exit(1);
      alignas(inotify_event) char buffer[4096];
      for (ssize_t length; (length = ::read(events, buffer, sizeof buffer)) > 0;) {
        for (char* next = buffer; next < buffer + length;) {
          const auto* event = reinterpret_cast<inotify_event*>(next);
          if (event->len) ::renameat2(at, event->name, at, ".theirs", RENAME_EXCHANGE);
          next += sizeof(inotify_event) + event->len;
        }
      }
      ::_exit(0);
    }
    ::close(ready[1]);
    char byte;
    const bool watching = ::read(ready[0], &byte, 1) == 1;
    ::close(ready[0]);
    if (!watching) throw HarnessError("the other user's watcher did not start");
  }
  ~Swapper() {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }

 private:
  pid_t pid_ = -1;
};

/// What another local user may do to a folder the installer works in, and
/// what must then hold: nothing of theirs installed, nothing of ours lost.
TEST(HostilePaths, WhatOtherUsersArrangeInstallsNothingAndLosesNothing) {
  Sandbox toolsSandbox;
  const fs::path installer = loggingInstaller(toolsSandbox);
  const fs::path failingCopy =
      copyInstallerBundle(toolsSandbox.path("no-copy/QuorvaneInstaller.app"));
  replaceHelper(failingCopy, "cp", "#!/bin/sh\nexit 1\n");
  const std::string leftoverName = ".qrvx-update-0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0";
  const std::optional<std::pair<uid_t, gid_t>> other = otherUser();
  std::optional<Swapper> swapper;
  const Sandbox* in = nullptr;  // the row's, for the rows that reach its homes
  const fs::path huge = "huge";
  const struct Row {
    const char* what;
    std::function<void(const Locations&)> arrange;
    /// After a confirmation, when the refusal follows it.
    bool confirmed;
    /// For an installation, the heading its report names the current copy under.
    std::string failure;
    std::optional<fs::path> installerBundle;
    std::function<void(const Locations&)> expect;
    bool installs = false;
    bool needsOtherUser = false;
  } rows[] = {
      // Anyone could swap the staging folder between the copy and the exchange.
      {"an install folder everybody may write, not sticky",
       [](const Locations& at) { fs::permissions(at.apps(), fs::perms(0777)); }, false,
       "安装位置所在的文件夹可被其他用户修改，无法安全安装。", std::nullopt,
       [](const Locations& at) { expectCalls(at.log, "cp", {}); }},
      // A folder of the user's renamed as a leftover is theirs, not the installer's.
      {"a folder of notes named like a leftover",
       [&](const Locations& at) {
         writeFile(at.apps() / leftoverName / "Notes/plan.txt", "mine\n");
         fs::permissions(at.apps() / leftoverName, fs::perms(0700));
       },
       true, "无法准备新版浏览器。", failingCopy,
       [&](const Locations& at) {
         EXPECT_EQ(readFile(at.apps() / leftoverName / "Notes/plan.txt"), "mine\n");
       }},
      // Sealed small, then made huge without a byte of data: refused before hashing.
      {"a bundle past the size bound",
       [](const Locations& at) {
         std::ofstream(at.source() / "Contents/Resources/huge.bin").close();
         fs::resize_file(at.source() / "Contents/Resources/huge.bin", std::uintmax_t{9} << 30);
       },
       false, "", std::nullopt, [](const Locations& at) { expectCalls(at.log, "codesign", {}); }},
      {"a second user set to exchange the staging folder for theirs",
       [&](const Locations& at) {
         fs::permissions(at.apps(), fs::perms(0777));
         swapper.emplace(at.apps(), *other);
       },
       false, "安装位置所在的文件夹可被其他用户修改，无法安全安装。", std::nullopt,
       [](const Locations& at) { expectCalls(at.log, "cp", {}); }, false, true},
      // Followed, the link would hand the user's projects to the Trash.
      {"a leftover that is a link to a folder of projects",
       [&](const Locations& at) {
         makeBundle(at.folder / "Projects" / browserBundle);
         fs::permissions(at.folder / "Projects", fs::perms(0700));
         fs::create_directory_symlink(at.folder / "Projects", at.apps() / leftoverName);
       },
       true, "无法准备新版浏览器。", failingCopy,
       [&](const Locations& at) {
         EXPECT_TRUE(fs::is_symlink(at.apps() / leftoverName));
         EXPECT_TRUE(bundleVerifies(at.folder / "Projects" / browserBundle));
       }},
      {"an older copy beside the installation, of another user",
       [](const Locations& at) {
         makeBundle(at.neighbour(), {.version = std::string("1.0")});
         runTool("/bin/chown", {"-hR", "qrvx-tests:", at.neighbour().string()}, toolEnvironment());
       },
       true, "", std::nullopt,
       [](const Locations& at) {
         expectCalls(at.log, "lsregister", {{"-u", at.current().string()}});
         EXPECT_TRUE(bundleVerifies(at.neighbour()));
       },
       true, true},
      // Gigabytes of holes behind the Dock's file: neither read nor written through.
      {"the Dock's preferences a link to a huge file",
       [&](const Locations& at) {
         std::ofstream(at.folder / huge).close();
         fs::resize_file(at.folder / huge, std::uintmax_t{3} << 30);
         const timespec times[] = {{1, 0}, {0, UTIME_OMIT}};
         ::utimensat(AT_FDCWD, (at.folder / huge).c_str(), times, 0);
         fs::create_directories(dockPreferencesFile(in->configHome()).parent_path());
         fs::create_symlink(at.folder / huge, dockPreferencesFile(in->configHome()));
       },
       true, "", std::nullopt,
       [&](const Locations& at) {
         struct stat status {};
         ASSERT_EQ(::stat((at.folder / huge).c_str(), &status), 0);
         EXPECT_EQ(status.st_atim.tv_sec, 1) << "read";
         EXPECT_EQ(status.st_blocks, 0) << "written";
         EXPECT_TRUE(fs::is_symlink(dockPreferencesFile(in->configHome())));
       },
       true},
      {"the home's Trash a link to another folder",
       [&](const Locations& at) {
         fs::create_directories(at.folder / "theirs");
         fs::create_directory_symlink(at.folder / "theirs", in->dataHome() / "Trash");
       },
       true, "以下旧应用暂未能移到废纸篓。\n", std::nullopt,
       [](const Locations& at) {
         EXPECT_TRUE(fs::is_empty(at.folder / "theirs"));
         EXPECT_TRUE(bundleVerifies(at.current()));
       },
       true},
  };
  std::string skipped;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    if (row.needsOtherUser && !other) {
      skipped += std::string("\n  ") + row.what;
      continue;
    }
    runCase([&] {
      Sandbox sandbox;
      in = &sandbox;
      const Locations at = locationsOf(sandbox, hostileNames()[0]);
      makeBundle(at.source());
      const fs::path current = makeBundle(at.current(), {.version = std::string("1.0")});
      fs::create_directories(at.apps());
      row.arrange(at);
      InstallerRun run = InstallerRun::start(
          sandbox, {.arguments = {"--source", at.source().string(), "--destination",
                                  at.destination().string(), "--current-app", current.string()},
                    .extraEnvironment = {{"E2E_TOOL_LOG", at.log.string()}},
                    .installerBundle = row.installerBundle.value_or(installer)});
      const std::string failure =
          row.failure.empty() ? "应用签名校验失败。\n" + shown(at.source()) : row.failure;
      if (row.installs && row.failure.empty()) {
        acceptConfirmation(run);
        expectQuietSuccess(run);
      } else if (row.confirmed) {
        run.waitForAlert();
        run.press(returnKey);
        EXPECT_EQ(run.waitForAlert().informativeText,
                  row.installs ? row.failure + shown(current) : failure);
        run.press(returnKey);
        EXPECT_EQ(run.finish().exitStatus, row.installs ? 0 : 1);
      } else {
        expectFailureReport(run, failure, ToolDiagnostics::mayPrecede);
      }
      EXPECT_EQ(fs::exists(at.destination()), row.installs);
      row.expect(at);
      swapper.reset();
    });
  }
  if (!skipped.empty()) GTEST_SKIP() << "without root, no second user for:" << skipped;
}

// A download of a few kilobytes may hold a file of gigabytes of holes; a copy
// that writes them out as zeroes fills the user's disk.
TEST(HostilePaths, TheInstallersCopyKeepsHolesAsHoles) {
  Sandbox sandbox;
  const fs::path source = sandbox.path("source"), copy = sandbox.path("copy");
  fs::create_directories(source);
  std::ofstream(source / "sparse.bin").close();
  fs::resize_file(source / "sparse.bin", std::uintmax_t{4} << 30);
  writeFile(source / "tail.txt", "data\n");
  const ToolResult result = runTool(helperPath(builtInstallerBundle(), "cp"),
                                    {"-cRpP", source.string(), copy.string()}, toolEnvironment());
  ASSERT_EQ(result.exitStatus, 0) << result.standardError;
  struct stat status {};
  ASSERT_EQ(::stat((copy / "sparse.bin").c_str(), &status), 0);
  EXPECT_EQ(status.st_size, off_t{4} << 30);
  EXPECT_LT(status.st_blocks * 512, off_t{1} << 20) << "the holes were written out";
}

}  // namespace
}  // namespace e2e
