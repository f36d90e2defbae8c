#include "TextEncoding.h"

#include <cstdio>

namespace TextEncoding {
namespace {

// Code points of the bytes 0x80 to 0x9F; 0 where Windows-1252 leaves the byte undefined.
constexpr uint16_t kHighControls[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                        0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

bool ToByte(uint32_t codePoint, char* byte) {
  if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) {
    *byte = static_cast<char>(codePoint);
    return true;
  }
  for (int i = 0; i < 32; ++i) {
    if (kHighControls[i] != 0 && kHighControls[i] == codePoint) {
      *byte = static_cast<char>(0x80 + i);
      return true;
    }
  }
  return false;
}

}  // namespace

bool NextCodePoint(std::string_view text, size_t* pos, uint32_t* codePoint) {
  auto lead = static_cast<unsigned char>(text[*pos]);
  int extra;
  uint32_t value;
  uint32_t minimum;
  if (lead < 0x80) {
    extra = 0, value = lead, minimum = 0;
  } else if ((lead & 0xE0) == 0xC0) {
    extra = 1, value = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2, value = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3, value = lead & 0x07, minimum = 0x10000;
  } else {
    return false;
  }
  if (text.size() - *pos <= static_cast<size_t>(extra)) return false;
  for (int i = 1; i <= extra; ++i) {
    auto next = static_cast<unsigned char>(text[*pos + i]);
    if ((next & 0xC0) != 0x80) return false;
    value = (value << 6) | (next & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
  *pos += extra + 1;
  *codePoint = value;
  return true;
}

void AppendUtf8(uint32_t codePoint, std::string* out) {
  if (codePoint < 0x80) {
    *out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    *out += static_cast<char>(0xC0 | (codePoint >> 6));
    *out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    *out += static_cast<char>(0xE0 | (codePoint >> 12));
    *out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (codePoint >> 18));
    *out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

void AppendUtf16Le(uint32_t codePoint, std::vector<uint8_t>* out) {
  auto unit = [out](uint32_t u) {
    out->push_back(static_cast<uint8_t>(u));
    out->push_back(static_cast<uint8_t>(u >> 8));
  };
  if (codePoint < 0x10000) {
    unit(codePoint);
  } else {
    unit(0xD800 + ((codePoint - 0x10000) >> 10));
    unit(0xDC00 + ((codePoint - 0x10000) & 0x3FF));
  }
}

std::string Utf16LeToUtf8(const uint8_t* bytes, size_t size) {
  std::string out;
  for (size_t i = 0; i + 1 < size; i += 2) {
    uint32_t unit = bytes[i] | uint32_t(bytes[i + 1]) << 8;
    if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < size) {
      uint32_t low = bytes[i + 2] | uint32_t(bytes[i + 3]) << 8;
      if (low >= 0xDC00 && low < 0xE000) {
        unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      }
    }
    AppendUtf8(unit, &out);
  }
  return out;
}

std::string FoldCase(std::string_view text) {
  std::string folded(text);
  for (char& c : folded)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return folded;
}

uint32_t Windows1252CodePoint(uint8_t byte) {
  if (byte < 0x80 || byte >= 0xA0) return byte;
  // Windows itself maps the five undefined bytes to the C1 controls of the same number.
  return kHighControls[byte - 0x80] ? kHighControls[byte - 0x80] : byte;
}

std::string DescribeCodePoint(uint32_t codePoint) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(codePoint));
  std::string result = buffer;
  if (codePoint >= 0x20 && codePoint != 0x7F && !(codePoint >= 0x80 && codePoint < 0xA0)) {
    // Re-encode as UTF-8 so the message shows the character itself.
    std::string utf8;
    AppendUtf8(codePoint, &utf8);
    result += " '" + utf8 + "'";
  }
  return result;
}

bool ToPackageText(std::string_view utf8, bool unicode, std::string* out, std::string* problem) {
  if (!unicode) return Utf8ToWindows1252(utf8, out, problem);
  for (size_t pos = 0; pos < utf8.size();) {
    uint32_t codePoint;
    if (!NextCodePoint(utf8, &pos, &codePoint)) {
      *problem = "malformed UTF-8 at byte " + std::to_string(pos);
      return false;
    }
  }
  *out = std::string(utf8);
  return true;
}

bool Utf8ToWindows1252(std::string_view utf8, std::string* out, std::string* problem) {
  std::string result;
  result.reserve(utf8.size());
  size_t pos = 0;
  while (pos < utf8.size()) {
    uint32_t codePoint;
    if (!NextCodePoint(utf8, &pos, &codePoint)) {
      char buffer[64];
      std::snprintf(buffer, sizeof buffer, "malformed UTF-8 at byte %zu", pos);
      *problem = buffer;
      return false;
    }
    char byte;
    if (!ToByte(codePoint, &byte)) {
      *problem = "the character " + DescribeCodePoint(codePoint) + " cannot be written in the Windows-1252 code page";
      return false;
    }
    result += byte;
  }
  *out = std::move(result);
  return true;
}

}  // namespace TextEncoding
