#pragma once
#include "InstallWizard.h"
#include "InstallerSwitches.h"
#include "Startup.h"

// Installs without a window when the product flags (or, in a package that reads its command
// line, /S) ask for it, otherwise through the wizard dialog; then starts the programs the
// install deferred. switches are the command line's, read already: rejected names the first
// argument they refused, or is empty. Returns the exit code.
int RunModes(InstallWizard& installer, const char* commandTail, const InstallerSwitches& switches,
             const Text& rejected);
