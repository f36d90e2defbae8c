#pragma once
#include "InstallerSwitches.h"
#include "Text.h"

// The command line that hands a run's choices on to a second, elevated installer that installs
// them for all users. Parse reads back exactly these choices from it.
namespace ElevatedCommand {

// /ALLUSERS, then /S or /PASSIVE, /LANG=, /COMPONENTS=, /LOG= as the choices hold them, and /D=
// last. False when a value cannot stand on a command line: a quote anywhere, or a component
// name with a comma or blanks at its ends (the switch would read it as another name).
bool Build(const InstallerSwitches& choices, Text* line);

}  // namespace ElevatedCommand
