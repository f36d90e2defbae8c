#include "CertificateTable.h"

namespace {
const uint32_t kNewHeaderOffsetField = 0x3C;
const uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
const uint32_t kFileHeaderSize = 20;
const uint16_t kOptionalMagic32 = 0x10B;
const uint16_t kOptionalMagic64 = 0x20B;
const uint32_t kSecurityDirectory = 4;
// The table's first record header (length, revision, type) at the least.
const uint32_t kMinTableSize = 8;

// Little-endian field of width bytes at offset; false when it does not lie inside the image.
bool Field(const uint8_t* image, uint32_t size, uint64_t offset, int width, uint32_t* value) {
  if (offset > size || uint64_t(width) > size - offset) return false;
  *value = 0;
  for (int i = width - 1; i >= 0; --i) *value = *value << 8 | image[offset + i];
  return true;
}
}  // namespace

bool FindCertificateTable(const uint8_t* image, uint32_t size, uint32_t* tableStart) {
  uint32_t mz, pe, signature, optionalSize, magic;
  if (!Field(image, size, 0, 2, &mz) || mz != 0x5A4D || !Field(image, size, kNewHeaderOffsetField, 4, &pe) ||
      !Field(image, size, pe, 4, &signature) || signature != kPeSignature ||
      !Field(image, size, uint64_t(pe) + 4 + 16, 2, &optionalSize))
    return false;
  uint64_t optional = uint64_t(pe) + 4 + kFileHeaderSize;
  if (!Field(image, size, optional, 2, &magic)) return false;
  // The directory count and the directories follow the fields whose width differs.
  uint64_t countField;
  if (magic == kOptionalMagic32)
    countField = optional + 92;
  else if (magic == kOptionalMagic64)
    countField = optional + 108;
  else
    return false;
  uint32_t directories, offset, length;
  uint64_t entry = countField + 4 + kSecurityDirectory * 8;
  if (!Field(image, size, countField, 4, &directories) || directories <= kSecurityDirectory ||
      entry + 8 > optional + optionalSize || !Field(image, size, entry, 4, &offset) ||
      !Field(image, size, entry + 4, 4, &length))
    return false;
  if (length < kMinTableSize || offset > size || uint64_t(offset) + length != size) return false;
  *tableStart = offset;
  return true;
}
