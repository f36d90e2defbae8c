#pragma once
#include <windows.h>

// Prepares the process, runs the installer over the executable's own file and returns the exit code.
int Start(HINSTANCE instance, HINSTANCE previous, char* commandTail, int showState);

// Builds the run's object over the installer at path, checks its package, runs it.
int RunInstaller(const char* path);

extern const char kCorruptionCaption[];
extern const char kCorruptionText[];
