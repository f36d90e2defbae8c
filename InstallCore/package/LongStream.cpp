#include "LongStream.h"

#include <new>

#include "LzmaDecoder.h"
#include "Memory.h"

LongStream::Result LongStream::Open(const CatalogEntry& entry, const uint8_t* data, uint32_t length) {
  if (IsOpen(entry)) return decoder_->Failed() ? Result::kCorrupt : Result::kDone;
  Close();
  content_ = static_cast<uint8_t*>(MemAlloc(entry.size));
  void* place = MemAlloc(sizeof(LzmaDecoder));
  if (!content_ || !place) {
    MemFree(place);
    Close();
    return Result::kNoMemory;
  }
  decoder_ = new (place) LzmaDecoder(data, length, content_, entry.size);
  entry_ = &entry;
  return decoder_->Failed() ? Result::kCorrupt : Result::kDone;
}

LongStream::Result LongStream::DecodeUntil(uint32_t end) {
  return decoder_ && decoder_->DecodeUntil(end) ? Result::kDone : Result::kCorrupt;
}

uint32_t LongStream::Ready() const { return decoder_ ? decoder_->Ready() : 0; }

void LongStream::Close() {
  if (decoder_) {
    decoder_->~LzmaDecoder();
    MemFree(decoder_);
  }
  MemFree(content_);
  entry_ = nullptr;
  content_ = nullptr;
  decoder_ = nullptr;
}
