#pragma once

// The installer's process exit codes.
const int kExitInstalled = 0;
const int kExitFailed = 1;  // a damaged package, CancelInstall, or a run that could not start
const int kExitCancelled = 2;
const int kExitInstalledWithFailures = 3;
const int kExitBadCommandLine = 87;
const int kExitRestartNeeded = 3010;
