#include "RegistryLocation.h"

#include <string.h>

namespace {
struct Root {
  const char* prefix;
  uint32_t handle;
};
const Root kRoots[] = {
    {"HKCR\\", 0x80000000u},
    {"HKCU\\", 0x80000001u},
    {"HKLM\\", 0x80000002u},
    {"HKCC\\", 0x80000005u},
};
const uint32_t kPrefixLength = 5;
}  // namespace

bool RegistryLocation::ParseKey(const Text& text, RegistryLocation* location) {
  for (const Root& root : kRoots) {
    if (text.Length() > kPrefixLength && memcmp(text.Data(), root.prefix, kPrefixLength) == 0) {
      location->root = root.handle;
      location->key = text.Mid(kPrefixLength);
      location->valueName.Clear();
      return true;
    }
  }
  return false;
}

bool RegistryLocation::ParseValue(const Text& text, RegistryLocation* location) {
  if (!ParseKey(text, location)) return false;
  uint32_t split = location->key.FindLastChar('\\');
  if (split == Text::kNotFound || split == 0) return false;
  location->valueName = location->key.Mid(split + 1);
  location->key.Truncate(split);
  return true;
}
