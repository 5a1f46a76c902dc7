#pragma once

// The end-to-end harness: everything a scenario needs to drive the built
// installer bundle from outside, the way a user and the system would.
//
//   Sandbox sandbox;                                  // private HOME and XDG_* folders
//   auto source = makeBundle(sandbox.path("new/Quorvane浏览器.app"), {});
//   auto run = InstallerRun::start(sandbox, {.arguments = {"--source", source}});
//   Alert alert = run.waitForAlert();                 // parsed from the terminal
//   run.press(returnKey);
//   RunResult result = run.finish();                  // exit status, stderr, terminal
//
// Every wait is bounded by waitLimit and reports what the terminal showed.

#include "alert_transcript.h"
#include "browser_process.h"
#include "browser_record.h"
#include "bundle_factory.h"
#include "common.h"
#include "installer_run.h"
#include "sandbox.h"
#include "tree_snapshot.h"
