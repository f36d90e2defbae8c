#include "Catalog.h"

#include <string.h>

#include <algorithm>

#include "ByteSource.h"
#include "Memory.h"

bool Catalog::Load(const uint8_t* records, uint32_t size, uint32_t count) {
  Clear();
  if (count == 0) return true;
  // Checked before allocating, so an absurd count cannot ask for memory it could never fill.
  if (count > size / kMinRecordSize) return false;
  size_t entriesBytes = size_t(count) * sizeof(CatalogEntry);
  if (entriesBytes / sizeof(CatalogEntry) != count) return false;
  entries_ = static_cast<CatalogEntry*>(MemAlloc(entriesBytes));
  index_ = static_cast<IndexEntry*>(MemAlloc(size_t(count) * sizeof(IndexEntry)));
  // Each record stores its name in fewer bytes than the record takes, so size bytes hold
  // every name with its terminator.
  names_ = static_cast<char*>(MemAlloc(size));
  if (!entries_ || !index_ || !names_) {
    Clear();
    return false;
  }
  ByteSource source(records, size);
  char* names = names_;
  for (uint32_t i = 0; i < count; ++i) {
    int16_t nameLength;
    if (!source.ReadI16(&nameLength) || nameLength < 0) {
      Clear();
      return false;
    }
    CatalogEntry& entry = entries_[i];
    entry.name = names;
    entry.nameLength = uint32_t(nameLength);
    bool complete = source.ReadBytes(names, entry.nameLength) == entry.nameLength && source.ReadU32(&entry.offset) &&
                    source.ReadU32(&entry.packedSize) && source.ReadU32(&entry.size) &&
                    source.ReadU32(&entry.checksum) && source.ReadU32(&entry.reserved) &&
                    source.ReadU32(&entry.flags);
    if (!complete) {
      Clear();
      return false;
    }
    names[entry.nameLength] = 0;
    names += entry.nameLength + 1;
    index_[i].name = entry.name;
    index_[i].entry = &entry;
  }
  count_ = count;
  // std::sort bounds its recursion, which a hand-rolled quicksort over crafted names would not.
  // strcmp orders bytes as unsigned values on every platform; Find uses the same order.
  std::sort(index_, index_ + count_,
            [](const IndexEntry& a, const IndexEntry& b) { return strcmp(a.name, b.name) < 0; });
  return true;
}

void Catalog::Clear() {
  MemFree(entries_);
  MemFree(index_);
  MemFree(names_);
  entries_ = nullptr;
  index_ = nullptr;
  names_ = nullptr;
  count_ = 0;
}

const CatalogEntry* Catalog::Find(const char* key) const {
  if (!key || count_ == 0) return nullptr;
  const IndexEntry* begin = index_;
  const IndexEntry* end = index_ + count_;
  const IndexEntry* found = std::lower_bound(
      begin, end, key, [](const IndexEntry& a, const char* k) { return strcmp(a.name, k) < 0; });
  if (found == end || strcmp(found->name, key) != 0) return nullptr;
  return found->entry;
}
