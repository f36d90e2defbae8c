#pragma once
// Helpers for the package reader's and writer's host tests.
#include <stdint.h>

#include <string>

#include "HostTestSupport.h"
#include "Memory.h"
#include "PackageReader.h"

// ExtractToMemory as a string, "<null>" when it fails; checks the terminating zero.
inline std::string Extracted(PackageReader& reader, const std::string& name) {
  uint32_t size = 0;
  uint8_t* content = reader.ExtractToMemory(name.c_str(), &size);
  if (!content) return "<null>";
  std::string result(reinterpret_cast<char*>(content), size);
  if (content[size] != 0) result += "<no terminator>";
  MemFree(content);
  return result;
}
