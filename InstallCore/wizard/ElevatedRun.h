#pragma once
#include <stdint.h>

#include "InstallEngine.h"
#include "InstallerSwitches.h"

// Installing for all users needs administrator rights. A process without them, where the
// product lets the user choose, starts the installer again elevated with the run's choices for
// all users, waits for it and ends with its exit code. The elevated installer writes the log
// the command line asked for; this one writes it again only when no such installer ran.
namespace ElevatedRun {

// The product lets the user choose, all users are chosen, and this process lacks the rights.
bool Needed(const InstallEngine& installer);

// Hands choices on and waits. True with *exitCode the elevated
// installer's; false when the prompt was refused or nothing could be started, with a log line
// that says which: nothing was installed then.
bool Run(InstallEngine& installer, const InstallerSwitches& choices, uint32_t* exitCode);

}  // namespace ElevatedRun
