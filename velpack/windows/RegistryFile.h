#pragma once
#include <stdint.h>

#include <map>
#include <string>
#include <vector>

// Registry value types, as Windows numbers them.
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegMultiSz = 7;

// A registry value as Windows stores it: its type and its bytes (texts in UTF-16LE with their
// terminating zeros).
struct RegistryData {
  uint32_t type = 0;
  std::vector<uint8_t> bytes;
  bool operator==(const RegistryData& other) const { return type == other.type && bytes == other.bytes; }
  bool operator!=(const RegistryData& other) const { return !(*this == other); }
};

struct RegistryValue {
  std::string name;  // as written; empty for the key's default value
  RegistryData data;
};

struct RegistryKey {
  std::string path;  // as written, with its root: HKLM\Software\Vendor
  std::map<std::string, RegistryValue> values;  // by folded name
};

// Keys by folded path (TextEncoding::FoldCase): the registry compares names without regard to
// case, and so do snapshots of it.
typedef std::map<std::string, RegistryKey> RegistryTree;

// Reads the text of one of the registry files Wine keeps in a prefix (system.reg, user.reg),
// adding its keys below root ("HKLM", "HKCU") to *tree. False with *error naming the line and
// the problem.
bool ReadRegistryFile(const std::string& text, const std::string& root, RegistryTree* tree, std::string* error);

// "REG_SZ", "REG_DWORD", ..., or "type N".
std::string RegistryTypeName(uint32_t type);
// The data as a reader would write it: a text in double quotes, texts of a list in brackets, a
// number in decimal, other bytes in hex (only the first maxBytes of them, then "...").
std::string DescribeRegistryData(const RegistryData& data, size_t maxBytes = 32);
// A text value's text up to its first zero; empty for any other type.
std::string RegistryText(const RegistryData& data);
