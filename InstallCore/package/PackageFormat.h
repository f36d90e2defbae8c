#pragma once
#include <stdint.h>

// Fixed values of the package layout, shared by the installer's reader and the packer.
namespace PackageFormat {
const uint32_t kTrailerSize = 16;
const uint32_t kTrailerMagic = 0x56425273;  // "sRBV"
const uint8_t kVersion = 6;
const uint8_t kFlagRequired = 2;  // the reader refuses a package without this bit
// Every catalog record's checksum is the CRC-32 of its content, and the reader checks it.
const uint8_t kFlagEntryChecksums = 4;
// The installer reads its command line (/S and the other switches).
const uint8_t kFlagReadsCommandLine = 8;
const uint8_t kFlagsWritten = 3 | kFlagEntryChecksums;
const uint32_t kCatalogMagic = 0x30357869;  // "ix50"
// Far above any real catalog: a larger claimed record stream is taken for corruption, which
// keeps a crafted catalog from making the reader decode gigabytes.
const uint32_t kMaxRecordStream = 64u << 20;
}  // namespace PackageFormat
