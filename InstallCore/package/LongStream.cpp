#include "LongStream.h"

#include <new>

#include "LzmaDecoder.h"
#include "Memory.h"

namespace {
// How much the thread decodes between two reports to the reader: few enough reports that
// waking the reader costs nothing, small enough that the first file of a stream is not held up.
const uint32_t kDecodeStep = 256u << 10;
}  // namespace

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
  // A stream whose thread runs reports damage through DecodeUntil.
  return !place->worker.Started() && place->decoder->Failed() ? Result::kCorrupt : Result::kDone;
}

void LongStream::Prefetch(const CatalogEntry& entry, const uint8_t* data, uint32_t length, uint32_t owner) {
  if (!decodeAhead_ || Find(entry)) return;
  for (Held& place : held_) {
    if (place.entry) continue;
    if (Start(place, entry, data, length)) place.owner = owner;
    return;
  }
}

LongStream::Result LongStream::DecodeUntil(uint32_t end) {
  if (!current_) return Result::kCorrupt;
  if (!current_->worker.Started()) return current_->decoder->DecodeUntil(end) ? Result::kDone : Result::kCorrupt;
  uint32_t size = current_->entry->size;
  if (end > size) end = size;
  current_->worker.WaitFor(end);
  return current_->worker.Reached() >= end ? Result::kDone : Result::kCorrupt;
}

uint32_t LongStream::Ready() const {
  if (!current_) return 0;
  return current_->worker.Started() ? current_->worker.Reached() : current_->decoder->Ready();
}

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
  // Without a thread the reader decodes as it reads, as far as each file needs.
  if (decodeAhead_ && !place.decoder->Failed()) place.worker.Start(DecodeOnThread, &place);
  return true;
}

void LongStream::DecodeOnThread(WorkerThread& worker, void* context) {
  Held& place = *static_cast<Held*>(context);
  uint32_t size = place.entry->size;
  for (uint32_t ready = 0; ready < size && !worker.StopRequested(); ready = place.decoder->Ready()) {
    if (!place.decoder->DecodeUntil(size - ready > kDecodeStep ? ready + kDecodeStep : size)) return;
    worker.Publish(place.decoder->Ready());
  }
}

void LongStream::Release(Held& place) {
  if (&place == current_) current_ = nullptr;
  place.worker.Stop();
  if (place.decoder) {
    place.decoder->~LzmaDecoder();
    MemFree(place.decoder);
  }
  MemFree(place.content);
  place.entry = nullptr;
  place.content = nullptr;
  place.decoder = nullptr;
  place.owner = 0;
  place.lastUse = 0;
}
