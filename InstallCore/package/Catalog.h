#pragma once
#include <stdint.h>

// One catalog record; callers test existence and read size.
struct CatalogEntry {
  const char* name;  // nameLength bytes plus a terminator; compared up to the first zero byte
  uint32_t nameLength;
  uint32_t offset;
  uint32_t packedSize;
  uint32_t size;
  uint32_t checksum;
  uint32_t reserved;
  uint32_t flags;
};

enum EntryFlag : uint32_t {
  kEntryCompressed = 1,
  kEntryBlockCoded = 4,
  kEntryInSolidBlock = 8,
  // With package flag kFlagLongStreams: the stream is long-range (LzmaDecoder), not block-coded.
  kEntryLzmaCoded = 16,
  // With package flag kFlagLongStreams: the content is the slice [offset, offset + size) of the
  // long-range stream whose record is at position `reserved` of the catalog's stored order.
  kEntryInLongStream = 32,
};

// The package's records in stored order and an index over them sorted by name. The records
// never move once loaded, so pointers to them stay valid for the catalog's life.
class Catalog {
 public:
  // Smallest record: name length, an empty name and six u32 fields.
  static const uint32_t kMinRecordSize = 26;

  Catalog() : entries_(nullptr), index_(nullptr), names_(nullptr), count_(0) {}
  ~Catalog() { Clear(); }
  Catalog(const Catalog&) = delete;
  Catalog& operator=(const Catalog&) = delete;

  // Parses count records from a decoded record stream of size bytes. False, with the catalog
  // left empty, when the records do not fit the stream or a name length is negative.
  bool Load(const uint8_t* records, uint32_t size, uint32_t count);
  void Clear();

  uint32_t Count() const { return count_; }
  // Record in stored order, or null past the end.
  const CatalogEntry* At(uint32_t index) const { return index < count_ ? &entries_[index] : nullptr; }
  // The record whose name equals the zero-terminated key, or null.
  const CatalogEntry* Find(const char* key) const;

 private:
  struct IndexEntry {
    const char* name;
    const CatalogEntry* entry;
  };

  CatalogEntry* entries_;
  IndexEntry* index_;
  char* names_;
  uint32_t count_;
};
