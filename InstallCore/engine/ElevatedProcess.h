#pragma once
#include <windows.h>

#include "Text.h"

// A program started with administrator rights, through the elevation prompt: this program again,
// for the part of its work that needs them.
namespace ElevatedProcess {

// Whether this process lacks administrator rights that an elevated copy could have: not where
// the user has them already, nor where the prompt is switched off (an elevated start would
// then run with the same rights, and start its own copy again).
bool Needed();

enum Outcome {
  kEnded,       // the copy ran; *exitCode is its exit code
  kRefused,     // the user refused the prompt
  kNotStarted,  // it could not be started; *exitCode is the system's error code
};

// Starts program elevated with arguments, waits for it and reads its exit code.
Outcome Run(const Text& program, const Text& arguments, DWORD* exitCode);

// This program's own file; empty when its path is too long to tell.
Text OwnFile();

}  // namespace ElevatedProcess
