#pragma once
#include <stdint.h>

#include <string>
#include <vector>

// Reads a whole file as bytes; false with a message naming the file and the problem.
bool ReadFileBytes(const std::string& path, std::vector<uint8_t>* content, std::string* error);
