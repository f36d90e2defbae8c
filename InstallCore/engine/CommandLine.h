#pragma once
#include <stdint.h>

#include "Text.h"

namespace CommandLine {

// The buffer CreateProcessA gets, terminator included.
const uint32_t kCapacity = 4096;

// The program in double quotes, one space, the arguments (each up to its first zero byte).
// False when that would not fit kCapacity: the line is refused rather than cut short.
bool Build(const Text& program, const Text& arguments, Text* line);

}  // namespace CommandLine
