#pragma once
#include <stdint.h>

#include "Text.h"

// A registry key or value as the log names it: a root prefix such as "HKLM\", the key path,
// and for a value the name after the last backslash (empty for the default value).
struct RegistryLocation {
  // The predefined root key's handle value (HKEY_LOCAL_MACHINE is 0x80000002).
  uint32_t root = 0;
  Text key;
  Text valueName;

  // False for an unknown root or an empty key path: nothing may be done at a root itself.
  static bool ParseKey(const Text& text, RegistryLocation* location);
  static bool ParseValue(const Text& text, RegistryLocation* location);
};
