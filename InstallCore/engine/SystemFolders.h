#pragma once
#include "Text.h"

// The folders the system names, without trailing backslash; the empty text when unknown.
namespace SystemFolders {

// A shell special folder (CSIDL_ value).
Text Special(int csidl);
// The first special folder that is known.
Text Special(int csidl, int fallback);
Text System();
Text Windows();
Text Temp();
// The shell's program files folder, else the one the registry names, else "C:\Program Files".
Text ProgramFiles();

}  // namespace SystemFolders
