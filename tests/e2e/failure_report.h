#pragma once

// What every failure must look like from outside, as gtest expectations.

#include <functional>
#include <string>
#include <vector>

#include "installer_run.h"

namespace e2e {

/// Whether standard error may carry a system tool's own diagnostics before the
/// installer's line (codesign explains a broken seal before the alert).
enum class ToolDiagnostics { none, mayPrecede };

/// Drives `run` through the failure report: the critical alert titled
/// 无法安装Quorvane浏览器 with `description` and the single default button,
/// nothing of it on stderr until Return dismisses it, then `description` + "\n"
/// on stderr, nothing on stdout, exit 1, one alert, the terminal restored.
void expectFailureReport(InstallerRun& run, const std::string& description,
                         ToolDiagnostics diagnostics = ToolDiagnostics::none);

/// The same failure without a terminal: only `description` + "\n" on stderr,
/// nothing on stdout, exit 1.
void expectSilentFailure(const RunResult& result, const std::string& description,
                         ToolDiagnostics diagnostics = ToolDiagnostics::none);

/// Runs one case of a table; a HarnessError (a wait that ran out, a bundle
/// that could not be made) fails that case, under its trace, and the table
/// goes on.
void runCase(const std::function<void()>& body);

/// Arguments as one line for SCOPED_TRACE.
std::string joinedArguments(const std::vector<std::string>& arguments);

}  // namespace e2e
