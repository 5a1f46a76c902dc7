// Copies of the browser next to the installation are retired when they are
// strictly older, carry the browser's name, verify, do not run and do not sit
// inside another bundle; every other copy stays where it is, registered.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>

#include "failure_report.h"
#include "harness.h"
#include "installation_steps.h"
#include "launch_registry.h"
#include "trash_contents.h"

namespace e2e {
namespace {

struct Neighbour {
  std::string name;
  std::string version;
  bool retiredInPlainFolder;
  std::string identifier = BROWSER_IDENTIFIER;
  bool sealed = true;
  bool running = false;
};

std::string named(std::string_view suffix) { return std::string(browserName) + std::string(suffix); }

const std::vector<Neighbour> neighbours = {
    {named(" 1.2.app"), "1.2", true},
    {named(" 2.0.9.app"), "2.0.9", true},
    {named(" 2.1.app"), "2.1", false},   // equal to 2.1.0
    {named(" 10.app"), "10.0", false},   // newer
    {named(" copy.app"), "1.0", false},  // not the browser's name
    {named(" 1.1.app"), "1.1", false, BROWSER_IDENTIFIER, false},
    {named(" 1.4.app"), "1.4", false, "com.example.other"},
    {named(" 1.3.app"), "1.3", false, BROWSER_IDENTIFIER, true, true},
};

std::vector<std::string> sorted(std::vector<std::string> lines) {
  std::sort(lines.begin(), lines.end());
  return lines;
}

TEST(Neighbours, OnlyOlderVerifiedIdleCopiesGoToTheTrash) {
  struct FolderCase {
    const char* name;
    const char* folder;
    bool nested;
  };
  for (const FolderCase& folderCase : {FolderCase{"an installation in a plain folder", "apps", false},
                                       FolderCase{"an installation in a folder named like a bundle",
                                                  "Suite.app", true}}) {
    SCOPED_TRACE(folderCase.name);
    runCase([&] {
      Sandbox sandbox;
      const fs::path apps = sandbox.path(folderCase.folder);
      const fs::path destination =
          makeBundle(apps / browserBundle, {.version = std::string("2.0")});
      const fs::path source = makeBundle(sandbox.path("new") / browserBundle);
      registerBundle(sandbox, destination);

      std::map<fs::path, ino_t> inodes;
      std::vector<std::unique_ptr<BrowserProcess>> running;
      for (const Neighbour& neighbour : neighbours) {
        fs::path bundle = makeBundle(apps / neighbour.name, {.identifier = neighbour.identifier,
                                                             .version = neighbour.version,
                                                             .seal = neighbour.sealed});
        inodes[bundle] = inodeOf(bundle);
        registerBundle(sandbox, bundle);
        if (neighbour.running)
          running.push_back(std::make_unique<BrowserProcess>(BrowserProcess::start(sandbox, bundle)));
      }
      // Its executable must be running before the installer looks.
      waitUntil([&] { return sandbox.processesInside().size() == running.size(); });
      const std::vector<std::string> registeredBefore = registeredBundles(sandbox);

      InstallerRun run = InstallerRun::start(
          sandbox, {.arguments = {"--source", source.string(), "--destination",
                                  destination.string(), "--current-app", destination.string()}});
      acceptConfirmation(run);
      // The unsealed copy makes codesign explain itself.
      expectQuietSuccess(run, ToolDiagnostics::mayPrecede);

      auto trash = trashedItems(sandbox.dataHome() / "Trash");
      std::vector<std::string> withdrawn;
      for (const Neighbour& neighbour : neighbours) {
        SCOPED_TRACE(neighbour.name);
        const fs::path bundle = apps / neighbour.name;
        if (neighbour.retiredInPlainFolder && !folderCase.nested) {
          ASSERT_TRUE(trash.contains(bundle)) << "not in the Trash";
          EXPECT_EQ(inodeOf(trash.at(bundle).file), inodes.at(bundle));
          EXPECT_FALSE(fs::exists(fs::symlink_status(bundle)));
          withdrawn.push_back(bundle.string());
        } else {
          EXPECT_FALSE(trash.contains(bundle)) << "moved to the Trash";
          EXPECT_EQ(inodeOf(bundle), inodes.at(bundle));
        }
      }
      // Besides them, only the replaced bundle from its staging folder.
      EXPECT_EQ(trash.size(), withdrawn.size() + 1);
      for (const auto& [original, item] : trash) {
        if (std::find(withdrawn.begin(), withdrawn.end(), original.string()) != withdrawn.end())
          continue;
        EXPECT_EQ(original.parent_path().parent_path(), apps) << original;
        EXPECT_TRUE(isStagingFolderName(original.parent_path().filename().string())) << original;
      }
      for (const auto& process : running) EXPECT_FALSE(process->hasEnded());

      std::vector<std::string> registeredAfter;
      for (const std::string& line : registeredBefore)
        if (std::find(withdrawn.begin(), withdrawn.end(), line) == withdrawn.end())
          registeredAfter.push_back(line);
      EXPECT_EQ(sorted(registeredBundles(sandbox)), sorted(registeredAfter));
    });
  }
}

}  // namespace
}  // namespace e2e
