#pragma once

// Steps of a confirmed installation, seen from outside: accepting the
// confirmation, the quiet end of a run that left nothing to report, and what
// an installation leaves in the folder that holds it.

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

#include "failure_report.h"
#include "installer_run.h"

namespace e2e {

/// Waits for the confirmation of `run` and accepts it with Return. Throws
/// HarnessError when the first alert does not ask to install the browser.
void acceptConfirmation(InstallerRun& run);

/// Expects the end of a run whose installation succeeded and left no copy
/// behind: no alert after the confirmation, status 0, nothing on standard
/// output, the terminal restored, and nothing on standard error but, when
/// allowed, the diagnostics of codesign about copies that failed verification
/// (the tools write to the installer's own standard error).
void expectQuietSuccess(InstallerRun& run, ToolDiagnostics diagnostics = ToolDiagnostics::none);

/// Expects the end of a run that failed after its confirmation: the failure
/// alert with `description`, nothing of it on standard error until Return
/// dismisses it, then `description` + "\n" on standard error, nothing on
/// standard output, exit 1, two alerts in all, the terminal restored.
void expectFailureAfterConfirmation(InstallerRun& run, const std::string& description);

/// Expects each of `processes` to end within the harness's wait limit.
void expectProcessesEnd(const std::vector<pid_t>& processes);

/// The staging folders (".qrvx-update-" + UUID) directly inside `folder`.
std::vector<std::filesystem::path> stagingFolders(const std::filesystem::path& folder);

/// Whether `name` is ".qrvx-update-" followed by an upper-case UUID.
bool isStagingFolderName(const std::string& name);

/// The inode of `path` itself (lstat); throws HarnessError when it cannot be read.
ino_t inodeOf(const std::filesystem::path& path);

}  // namespace e2e
