#pragma once

// The installer's process exit codes, as deployment tools read them.
const int kExitInstalled = 0;
// A damaged package, or a script that called CancelInstall.
const int kExitFailed = 1;
const int kExitCancelled = 2;
// Installed, but some actions failed; they were named to the user.
const int kExitInstalledWithFailures = 3;
const int kExitBadCommandLine = 87;
// Installed; files that were in use are replaced at the next restart.
const int kExitRestartNeeded = 3010;
