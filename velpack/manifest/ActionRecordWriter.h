#pragma once
#include <stdint.h>

#include <string>
#include <vector>

#include "Manifest.h"
#include "ManifestEntries.h"

// Lays out action records byte for byte: little-endian integers and texts that each carry
// their terminating zero.
class ActionRecordWriter {
 public:
  explicit ActionRecordWriter(uint32_t type) { U32(type); }

  ActionRecordWriter& U32(uint32_t value);
  ActionRecordWriter& U64(uint64_t value);
  ActionRecordWriter& Text(const std::string& text);
  ActionRecordWriter& Bytes(const std::vector<uint8_t>& bytes);
  std::vector<uint8_t> Take() { return std::move(bytes_); }

  // The record "name" for the action and the side entry it needs, if any. File contents are
  // moved into their entries rather than copied.
  static void AddEntries(Action&& action, const std::string& name, std::vector<PackageEntry>* out);

 private:
  std::vector<uint8_t> bytes_;
};
