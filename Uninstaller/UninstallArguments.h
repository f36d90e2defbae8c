#pragma once
#include <stdint.h>

#include "Text.h"

// What the uninstaller's command line asks for: the log to undo, whether to ask and tell the
// user anything, and, in the copy the uninstaller starts of itself, the handles it inherited
// from the original process.
struct UninstallArguments {
  Text logPath;
  // Everything after the program name, as given: handed on to the copy.
  Text arguments;
  bool silent = false;
  // /LOG=FILE: where to write what was undone and how it went; empty when not asked for.
  Text reportPath;
  // Handle values inherited from the original process: the process itself and the pipe that
  // takes the result. Both 0 unless this is the copy.
  uint32_t originalProcess = 0;
  uint32_t resultPipe = 0;

  bool IsCopy() const { return originalProcess != 0 && resultPipe != 0; }

  // The program name may be quoted or not; the log path too, and an unquoted one may hold
  // blanks. Switches begin with "/", which no path element can.
  static UninstallArguments Parse(const char* commandLine);
  // The switch that marks the copy, naming the two inherited handles.
  static Text CopySwitch(uint32_t originalProcess, uint32_t resultPipe);
};
