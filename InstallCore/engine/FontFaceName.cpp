#include "FontFaceName.h"

#include <string.h>

namespace {
const uint16_t kFullName = 4;
const uint16_t kWindows = 3;
const uint16_t kMacintosh = 1;
const uint16_t kUsEnglish = 0x409;

uint32_t Read16(const uint8_t* p) { return uint32_t(p[0]) << 8 | p[1]; }
uint32_t Read32(const uint8_t* p) { return Read16(p) << 16 | Read16(p + 2); }

// Whether count bytes at offset lie inside the size bytes.
bool Inside(uint32_t offset, uint32_t count, uint32_t size) { return offset <= size && count <= size - offset; }

// The offset of the "name" table in the font whose table directory starts at font, or 0.
uint32_t NameTable(const uint8_t* data, uint32_t size, uint32_t font, uint32_t* length) {
  if (!Inside(font, 12, size)) return 0;
  uint32_t tables = Read16(data + font + 4);
  for (uint32_t i = 0; i < tables; ++i) {
    uint32_t record = font + 12 + i * 16;
    if (!Inside(record, 16, size)) return 0;
    if (memcmp(data + record, "name", 4) != 0) continue;
    uint32_t offset = Read32(data + record + 8);
    *length = Read32(data + record + 12);
    return Inside(offset, *length, size) ? offset : 0;
  }
  return 0;
}
}  // namespace

Text FontFaceName(const uint8_t* data, uint32_t size) {
  uint32_t font = 0;
  if (Inside(0, 16, size) && memcmp(data, "ttcf", 4) == 0) font = Read32(data + 12);
  uint32_t length = 0;
  uint32_t table = NameTable(data, size, font, &length);
  if (table == 0 || length < 6) return Text();
  const uint8_t* names = data + table;
  uint32_t count = Read16(names + 2);
  uint32_t strings = Read16(names + 4);
  // Rank 3: Windows, US English; 2: Windows, other language; 1: Macintosh Roman.
  int bestRank = 0;
  Text best;
  for (uint32_t i = 0; i < count && Inside(6 + i * 12, 12, length); ++i) {
    const uint8_t* record = names + 6 + i * 12;
    uint32_t platform = Read16(record), encoding = Read16(record + 2), language = Read16(record + 4);
    uint32_t bytes = Read16(record + 8), offset = strings + Read16(record + 10);
    if (Read16(record + 6) != kFullName || !Inside(offset, bytes, length)) continue;
    int rank = platform == kWindows && encoding <= 1 ? (language == kUsEnglish ? 3 : 2)
               : platform == kMacintosh && encoding == 0 ? 1
                                                          : 0;
    if (rank <= bestRank) continue;
    Text name;
    const uint8_t* text = names + offset;
    if (rank == 1) {
      name = Text(reinterpret_cast<const char*>(text), bytes);
    } else {
      for (uint32_t at = 0; at + 1 < bytes; at += 2) {
        uint32_t unit = Read16(text + at);
        name.Append(unit < 0x100 ? char(unit) : '?');
      }
    }
    if (name.Empty() || name.Length() != (rank == 1 ? bytes : bytes / 2)) continue;
    bestRank = rank;
    best = name;
  }
  return best;
}
