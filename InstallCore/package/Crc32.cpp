#include "Crc32.h"

namespace {
// Eight tables, 8 KB, built on first use rather than stored in the installer's image: eight
// bytes per step keep the check far below the cost of decoding or writing them. A plain array
// with a filled-in check rather than a local static object, whose guarded construction would
// bring the C++ runtime's locking and exception support into the installer.
uint32_t t[8][256];

void BuildTables() {
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[0][i] = c;
  }
  for (uint32_t i = 0; i < 256; ++i)
    for (int k = 1; k < 8; ++k) t[k][i] = t[0][t[k - 1][i] & 0xFF] ^ (t[k - 1][i] >> 8);
}

inline uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
}  // namespace

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc) {
  // Every entry but the first is nonzero once built.
  if (t[0][1] == 0) BuildTables();
  crc = ~crc;
  for (; size >= 8; data += 8, size -= 8) {
    uint32_t low = Le32(data) ^ crc;
    uint32_t high = Le32(data + 4);
    crc = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^
          t[3][high & 0xFF] ^ t[2][(high >> 8) & 0xFF] ^ t[1][(high >> 16) & 0xFF] ^ t[0][high >> 24];
  }
  for (; size > 0; ++data, --size) crc = t[0][(crc ^ *data) & 0xFF] ^ (crc >> 8);
  return ~crc;
}
