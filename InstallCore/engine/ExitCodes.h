#pragma once
#include <stdint.h>

// The installer's exit codes, as deployment tools read them.
const uint32_t kExitInstalled = 0;
// The package is damaged, or a script called CancelInstall.
const uint32_t kExitFailed = 1;
// The user cancelled the wizard.
const uint32_t kExitCancelled = 2;
// Installed, but some actions failed; they were named to the user.
const uint32_t kExitInstalledWithFailures = 3;
const uint32_t kExitBadCommandLine = 87;
// Installed; files that were in use are replaced at the next restart.
const uint32_t kExitRestartNeeded = 3010;
