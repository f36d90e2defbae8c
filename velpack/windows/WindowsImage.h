#pragma once
#include <stdint.h>

#include <string>
#include <vector>

// The processor a Windows program is built for, read from its PE header.
enum class Architecture : uint32_t { kX86, kX64 };

// "x86" or "x64", as the manifest and the command line spell them.
const char* ArchitectureName(Architecture architecture);
// False for any other word.
bool ParseArchitecture(const std::string& word, Architecture* architecture);

// The architecture of a PE image; false with *problem saying why when the bytes are no PE
// program for x86 or x64.
bool ImageArchitecture(const std::vector<uint8_t>& image, Architecture* architecture, std::string* problem);
