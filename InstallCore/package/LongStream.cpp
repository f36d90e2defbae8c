#include "LongStream.h"

#include <new>

#include "LzmaDecoder.h"
#include "Memory.h"

LongStream::Result LongStream::Open(const CatalogEntry& entry, const uint8_t* data, uint32_t length,
                                    uint32_t owner) {
  Held* place = Find(entry);
  if (!place) {
    for (Held& other : held_) {
      if (other.entry && other.owner != owner) Release(other);
    }
    place = &held_[0];
    for (Held& other : held_) {
      if (!other.entry) {
        place = &other;
        break;
      }
      if (other.lastUse < place->lastUse) place = &other;
    }
    Release(*place);
    if (!Start(*place, entry, data, length)) {
      for (Held& other : held_) Release(other);
      place = &held_[0];
      if (!Start(*place, entry, data, length)) return Result::kNoMemory;
    }
    place->owner = owner;
  }
  place->lastUse = ++uses_;
  current_ = place;
  return place->decoder->Failed() ? Result::kCorrupt : Result::kDone;
}

LongStream::Result LongStream::DecodeUntil(uint32_t end) {
  return current_ && current_->decoder->DecodeUntil(end) ? Result::kDone : Result::kCorrupt;
}

uint32_t LongStream::Ready() const { return current_ ? current_->decoder->Ready() : 0; }

void LongStream::Close() {
  for (Held& place : held_) Release(place);
}

LongStream::Held* LongStream::Find(const CatalogEntry& entry) const {
  for (const Held& place : held_) {
    if (place.entry == &entry) return const_cast<Held*>(&place);
  }
  return nullptr;
}

bool LongStream::Start(Held& place, const CatalogEntry& entry, const uint8_t* data, uint32_t length) {
  place.content = static_cast<uint8_t*>(MemAlloc(entry.size));
  void* decoder = MemAlloc(sizeof(LzmaDecoder));
  if (!place.content || !decoder) {
    MemFree(decoder);
    Release(place);
    return false;
  }
  place.decoder = new (decoder) LzmaDecoder(data, length, place.content, entry.size);
  place.entry = &entry;
  return true;
}

void LongStream::Release(Held& place) {
  if (&place == current_) current_ = nullptr;
  if (place.decoder) {
    place.decoder->~LzmaDecoder();
    MemFree(place.decoder);
  }
  MemFree(place.content);
  place = Held();
}
