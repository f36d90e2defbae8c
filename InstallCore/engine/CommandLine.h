#pragma once
#include <stdint.h>

#include "Text.h"

namespace CommandLine {

// The buffer CreateProcessA gets, terminator included.
const uint32_t kCapacity = 4096;

// The program in double quotes, one space, the arguments (each up to its first zero byte).
// False when that would not fit kCapacity: the line is refused rather than cut short.
bool Build(const Text& program, const Text& arguments, Text* line);

// The program to start: a name without folder (no separator, no drive) is looked up in the
// system folder only, since the platform's own search starts with the installer's folder, where
// a program of any name could have been planted. Empty when the system folder is unknown.
Text ProgramPath(const Text& program, const Text& systemFolder);

}  // namespace CommandLine
