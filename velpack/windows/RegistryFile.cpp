#include "RegistryFile.h"

#include <cstdio>
#include <cstdlib>

#include "TextEncoding.h"

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads an escaped text up to the unescaped character end (not consumed past it) as UTF-16LE.
// Wine escapes the backslash, the quote or bracket that would end the text, control characters
// (\n, \t, ... or \xNNNN) and may write other characters in UTF-8.
bool ReadEscaped(const std::string& line, size_t* pos, char end, std::vector<uint8_t>* utf16) {
  static const char kControls[] = "abtnvfr";
  while (*pos < line.size() && line[*pos] != end) {
    uint32_t codePoint;
    if (line[*pos] == '\\' && *pos + 1 < line.size()) {
      char c = line[*pos + 1];
      *pos += 2;
      codePoint = uint8_t(c);
      if (c == 'x') {
        codePoint = 0;
        for (int digits = 0; digits < 4 && *pos < line.size() && HexDigit(line[*pos]) >= 0; ++digits)
          codePoint = codePoint << 4 | uint32_t(HexDigit(line[(*pos)++]));
      } else if (c == '0') {
        codePoint = 0;
      } else if (c == 'e') {
        codePoint = 0x1B;
      } else {
        for (int i = 0; kControls[i]; ++i)
          if (c == kControls[i]) codePoint = uint32_t(7 + i);
      }
    } else if (!TextEncoding::NextCodePoint(line, pos, &codePoint)) {
      codePoint = uint8_t(line[(*pos)++]);
    }
    TextEncoding::AppendUtf16Le(codePoint, utf16);
  }
  if (*pos >= line.size()) return false;
  ++*pos;
  return true;
}

std::string Utf8Of(const std::vector<uint8_t>& utf16) { return TextEncoding::Utf16LeToUtf8(utf16.data(), utf16.size()); }

// "hex:01,02,..." or "hex(N):..." after the colon: bytes separated by commas.
bool ReadHexBytes(const std::string& text, std::vector<uint8_t>* bytes) {
  size_t pos = 0;
  while (pos < text.size()) {
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == ',')) ++pos;
    if (pos == text.size()) break;
    if (pos + 1 >= text.size() || HexDigit(text[pos]) < 0 || HexDigit(text[pos + 1]) < 0) return false;
    bytes->push_back(uint8_t(HexDigit(text[pos]) << 4 | HexDigit(text[pos + 1])));
    pos += 2;
  }
  return true;
}

bool ReadData(const std::string& text, RegistryData* data) {
  size_t pos = 0;
  if (text.compare(0, 1, "\"") == 0) {
    data->type = kRegSz;
  } else if (text.compare(0, 4, "str(") == 0) {
    data->type = uint32_t(std::strtoul(text.c_str() + 4, nullptr, 16));
    pos = text.find("):\"");
    if (pos == std::string::npos) return false;
    pos += 2;
  } else if (text.compare(0, 6, "dword:") == 0) {
    if (text.size() != 14) return false;
    uint32_t value = 0;
    for (size_t i = 6; i < 14; ++i) {
      if (HexDigit(text[i]) < 0) return false;
      value = value << 4 | uint32_t(HexDigit(text[i]));
    }
    data->type = kRegDword;
    for (int i = 0; i < 4; ++i) data->bytes.push_back(uint8_t(value >> (8 * i)));
    return true;
  } else if (text.compare(0, 3, "hex") == 0) {
    size_t colon = text.find(':');
    if (colon == std::string::npos) return false;
    data->type = text[3] == '(' ? uint32_t(std::strtoul(text.c_str() + 4, nullptr, 16)) : kRegBinary;
    return ReadHexBytes(text.substr(colon + 1), &data->bytes);
  } else {
    return false;
  }
  ++pos;
  if (!ReadEscaped(text, &pos, '"', &data->bytes) || pos != text.size()) return false;
  // Stored with its terminating zero, as the program that wrote it passed it.
  data->bytes.push_back(0);
  data->bytes.push_back(0);
  return true;
}

}  // namespace

bool ReadRegistryFile(const std::string& text, const std::string& root, RegistryTree* tree, std::string* error) {
  RegistryKey* key = nullptr;
  size_t lineNumber = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    // A line ending in a backslash goes on in the next one (long hex data).
    std::string line;
    size_t firstLine = lineNumber + 1;
    for (;;) {
      size_t end = text.find('\n', pos);
      if (end == std::string::npos) end = text.size();
      std::string part = text.substr(pos, end - pos);
      pos = end + 1;
      ++lineNumber;
      if (!part.empty() && part.back() == '\r') part.pop_back();
      size_t start = line.empty() ? 0 : part.find_first_not_of(" \t");
      line += part.substr(start == std::string::npos ? part.size() : start);
      if (line.empty() || line.back() != '\\' || (line[0] != '@' && line[0] != '"') || pos >= text.size()) break;
      line.pop_back();
    }
    auto fail = [&](const char* problem) {
      *error = "line " + std::to_string(firstLine) + ": " + problem;
      return false;
    };
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line.compare(0, 14, "WINE REGISTRY ") == 0) continue;
    if (line[0] == '[') {
      size_t at = 1;
      std::vector<uint8_t> name;
      if (!ReadEscaped(line, &at, ']', &name)) return fail("a key line without its closing bracket");
      std::string path = root + "\\" + Utf8Of(name);
      // Wine leaves out a key that has subkeys but no values: its subkeys' paths imply it.
      for (size_t slash = path.find('\\', root.size() + 1); slash != std::string::npos;
           slash = path.find('\\', slash + 1))
        (*tree)[TextEncoding::FoldCase(path.substr(0, slash))].path = path.substr(0, slash);
      RegistryKey& entry = (*tree)[TextEncoding::FoldCase(path)];
      entry.path = path;
      key = &entry;
      continue;
    }
    if (!key) return fail("a value before the first key");
    RegistryValue value;
    size_t at = 1;
    if (line[0] == '"') {
      std::vector<uint8_t> name;
      if (!ReadEscaped(line, &at, '"', &name)) return fail("a value name without its closing quote");
      value.name = Utf8Of(name);
    } else if (line[0] != '@') {
      return fail("neither a key, a value nor a comment");
    }
    if (at >= line.size() || line[at] != '=') return fail("a value name without '='");
    if (!ReadData(line.substr(at + 1), &value.data)) return fail("value data of an unknown form");
    key->values[TextEncoding::FoldCase(value.name)] = std::move(value);
  }
  return true;
}

std::string RegistryTypeName(uint32_t type) {
  static const char* const kNames[] = {"REG_NONE",      "REG_SZ",   "REG_EXPAND_SZ",
                                       "REG_BINARY",    "REG_DWORD", "REG_DWORD_BIG_ENDIAN",
                                       "REG_LINK",      "REG_MULTI_SZ", "REG_RESOURCE_LIST",
                                       "REG_FULL_RESOURCE_DESCRIPTOR", "REG_RESOURCE_REQUIREMENTS_LIST",
                                       "REG_QWORD"};
  if (type < sizeof(kNames) / sizeof(kNames[0])) return kNames[type];
  return "type " + std::to_string(type);
}

std::string RegistryText(const RegistryData& data) {
  if (data.type != kRegSz && data.type != kRegExpandSz) return std::string();
  size_t units = 0;
  while (units * 2 + 1 < data.bytes.size() && (data.bytes[units * 2] || data.bytes[units * 2 + 1])) ++units;
  return TextEncoding::Utf16LeToUtf8(data.bytes.data(), units * 2);
}

std::string DescribeRegistryData(const RegistryData& data, size_t maxBytes) {
  if (data.type == kRegSz || data.type == kRegExpandSz) return "\"" + RegistryText(data) + "\"";
  if (data.type == kRegDword && data.bytes.size() == 4) {
    uint32_t value = data.bytes[0] | uint32_t(data.bytes[1]) << 8 | uint32_t(data.bytes[2]) << 16 |
                     uint32_t(data.bytes[3]) << 24;
    return std::to_string(value);
  }
  if (data.type == kRegMultiSz) {
    std::string list = "[";
    size_t start = 0;
    for (size_t i = 0; i + 1 < data.bytes.size(); i += 2) {
      if (data.bytes[i] || data.bytes[i + 1]) continue;
      if (i == start) break;
      if (list.size() > 1) list += ", ";
      list += "\"" + TextEncoding::Utf16LeToUtf8(data.bytes.data() + start, i - start) + "\"";
      start = i + 2;
    }
    return list + "]";
  }
  std::string hex;
  for (size_t i = 0; i < data.bytes.size() && i < maxBytes; ++i) {
    char byte[4];
    std::snprintf(byte, sizeof(byte), "%s%02x", i ? " " : "", data.bytes[i]);
    hex += byte;
  }
  if (data.bytes.size() > maxBytes) hex += " ...";
  return hex.empty() ? "(no bytes)" : hex;
}
