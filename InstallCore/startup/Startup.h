#pragma once
#include <windows.h>

#include "Text.h"

// Prepares the process, runs the installer over the executable's own file and returns the exit code.
// The command tail, like the executable's path, arrives in UTF-8.
int Start(HINSTANCE instance, HINSTANCE previous, const char* commandTail, int showState);

// Builds the run's object over the installer at path, checks its package, runs it; the command
// line (without the program) counts only where the package asks for it.
int RunInstaller(const char* path, const char* commandTail);

// Tells that the entry (a destination path or an entry name) was found damaged; returns the
// exit code of a run it stopped.
int ReportDamagedEntry(const Text& entry);

extern const char kCorruptionCaption[];
extern const char kCorruptionText[];
