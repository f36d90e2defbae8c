#pragma once
#include <stdint.h>

// Fixed values of the package layout, shared by the installer's reader and the packer.
namespace PackageFormat {
const uint32_t kTrailerSize = 16;
const uint32_t kTrailerMagic = 0x56425273;  // "sRBV"
const uint8_t kVersion = 6;
// The reader refuses a package without this bit, or without kFlagLongStreams or kFlagUnicode
// in its place.
const uint8_t kFlagRequired = 2;
// Every catalog record's checksum is the CRC-32 of its content, and the reader checks it.
const uint8_t kFlagEntryChecksums = 4;
// The installer reads its command line (switches, exit codes of a cancelled or refused run) and
// gives its uninstall registration the details Windows shows for a product.
const uint8_t kFlagReadsCommandLine = 8;
const uint8_t kFlagsWritten = 3 | kFlagEntryChecksums | kFlagReadsCommandLine;
// File data is in long-range streams (entry flags kEntryLzmaCoded, kEntryInLongStream). Set
// instead of kFlagRequired, so that installers that cannot read such streams refuse the package.
const uint8_t kFlagLongStreams = 16;
const uint8_t kFlagsWrittenLong = (kFlagsWritten & ~kFlagRequired) | kFlagLongStreams;
// Every text is UTF-8. Set instead of both kFlagRequired and kFlagLongStreams, so that installers
// that would show the texts in the ANSI code page refuse the package; it implies that the reader
// knows long-range streams.
const uint8_t kFlagUnicode = 32;
const uint8_t kFlagsWrittenUnicode = (kFlagsWritten & ~kFlagRequired) | kFlagUnicode;
// The most content one long-range stream holds: the installer keeps it whole in memory while it
// serves the stream's files, beside the mapped installer, in a 32-bit address space.
const uint32_t kMaxLongStream = 256u << 20;
const uint32_t kCatalogMagic = 0x30357869;  // "ix50"
// Far above any real catalog: a larger claimed record stream is taken for corruption, which
// keeps a crafted catalog from making the reader decode gigabytes.
const uint32_t kMaxRecordStream = 64u << 20;
}  // namespace PackageFormat
