#pragma once
#include <stdint.h>

#include <string>
#include <vector>

#include "Manifest.h"
#include "PackageWriter.h"

// Bits of the product's "flags" entry.
constexpr uint32_t kProductFlagUnattended = 1;
constexpr uint32_t kProductFlagFolderChangeable = 2;
constexpr uint32_t kProductFlagMenuChangeable = 4;
// Installed for the user who runs the installer unless they choose otherwise.
constexpr uint32_t kProductFlagPerUser = 8;
// The user or the command line chooses between every user and the current one.
constexpr uint32_t kProductFlagScopeChoice = 16;

struct PackageEntry {
  std::string name;
  std::vector<uint8_t> content;
  Storage storage;
  std::string group;  // see PackageWriter::Add
};

// Every package entry of a manifest, in a fixed order: product entries, then each component's
// entries and records, then the language table. File contents move into the entries.
std::vector<PackageEntry> ManifestEntries(Manifest manifest);

// Solid entry holding exactly the bytes of a text (no terminator).
PackageEntry TextEntry(const std::string& name, const std::string& text);
