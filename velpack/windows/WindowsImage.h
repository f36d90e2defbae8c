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

// What an installer process of the architecture holds of the mapped installer and a decoded
// long-range stream together (PackageWriter::UseLongStreams): the largest installer a 32-bit
// process could map under Wine (1.8 GiB); 0, no limit, for a 64-bit one.
uint64_t LongStreamAddressLimit(Architecture architecture);

// The architecture of a PE image; false with *problem saying why when the bytes are no PE
// program for x86 or x64.
bool ImageArchitecture(const std::vector<uint8_t>& image, Architecture* architecture, std::string* problem);

// Makes the program ask for no more rights than its caller has: the execution level its manifest
// requests becomes "asInvoker", in place and at the same length. False with *problem saying why
// when the manifest does not request administrator rights exactly once.
bool RequestInvokerRights(std::vector<uint8_t>* image, std::string* problem);
