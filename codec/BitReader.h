#pragma once
#include <stdint.h>

#include "ByteSource.h"

// The stream's one bit cursor, most significant bit first; past the source's end every bit is 1.
// It looks ahead in the source's memory, but the source itself is moved only by Sync and only
// over the bytes whose bits have been taken, so its position reads as if bytes were fetched
// one at a time when the first of their bits was needed.
class BitReader {
 public:
  static const uint32_t kMaxBits = 24;

  explicit BitReader(ByteSource& source)
      : source_(&source), data_(source.Current()), length_(source.Remaining()), next_(0), synced_(0),
        buffer_(0), count_(0) {}

  // n from 0 to kMaxBits.
  __attribute__((always_inline)) uint32_t Read(uint32_t n) {
    if (count_ < n) Refill();
    // Two shifts, so that n = 0 never shifts by the full width.
    uint32_t bits = (buffer_ >> 1) >> (31 - n);
    buffer_ <<= n;
    count_ -= n;
    return bits;
  }

  // Bytes begun so far.
  uint32_t Consumed() const { return next_ - count_ / 8; }
  // Bytes begun beyond the source's end.
  uint32_t Overrun() const { return Consumed() > length_ ? Consumed() - length_ : 0; }

  void Sync() {
    uint32_t consumed = Consumed();
    if (consumed > synced_) {
      source_->Skip(consumed - synced_);
      synced_ = consumed;
    }
  }

 private:
  // Leaves at least kMaxBits bits. Away from the end it loads four bytes at once and counts only
  // the whole ones that fit; the rest of them lands again, unchanged, at the next refill.
  void Refill() {
    if (next_ <= length_ && length_ - next_ >= 4) {
      const uint8_t* p = data_ + next_;
      uint32_t word = uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
      buffer_ |= word >> count_;
      uint32_t bytes = (32 - count_) / 8;
      next_ += bytes;
      count_ += bytes * 8;
      return;
    }
    while (count_ <= 24) {
      uint32_t byte = next_ < length_ ? data_[next_] : 0xFF;
      ++next_;
      buffer_ |= byte << (24 - count_);
      count_ += 8;
    }
  }

  ByteSource* source_;
  const uint8_t* data_;
  uint32_t length_;
  uint32_t next_;
  uint32_t synced_;
  uint32_t buffer_;  // unread bits, left-aligned
  uint32_t count_;
};
