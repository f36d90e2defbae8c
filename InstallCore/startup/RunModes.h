#pragma once
#include "InstallWizard.h"
#include "InstallerSwitches.h"
#include "Startup.h"

// Installs without a window when the product flags (or, in a package that reads its command
// line, /S) ask for it, otherwise through the wizard dialog; then starts the programs the
// install deferred. commandTail is the command line after the program, in UTF-8. Returns the
// exit code.
int RunModes(InstallWizard& installer, const char* commandTail);
