#pragma once
#include <stdint.h>
#include <string.h>

// Bounded read cursor over bytes in memory. Reads past the end yield 0xFF (single bytes) or
// nothing (blocks) and mark the source exhausted; nothing is ever read outside [data, data+length).
class ByteSource {
 public:
  ByteSource(const uint8_t* data, uint32_t length)
      : data_(data), length_(length), position_(0), exhausted_(length == 0) {}

  uint8_t ReadByte() {
    if (position_ >= length_) {
      exhausted_ = true;
      return 0xFF;
    }
    return data_[position_++];
  }

  // Copies up to n bytes; returns how many were copied.
  uint32_t ReadBytes(void* destination, uint32_t n) {
    if (position_ >= length_) {
      exhausted_ = true;
      return 0;
    }
    uint32_t available = length_ - position_;
    if (n > available) n = available;
    if (n == 0) return 0;
    memcpy(destination, data_ + position_, n);
    position_ += n;
    return n;
  }

  // Little-endian fields; false when the source holds fewer bytes than the field needs.
  bool ReadU32(uint32_t* value) {
    uint8_t b[4];
    if (ReadBytes(b, 4) != 4) return false;
    *value = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    return true;
  }
  bool ReadI16(int16_t* value) {
    uint8_t b[2];
    if (ReadBytes(b, 2) != 2) return false;
    *value = int16_t(uint16_t(b[0] | b[1] << 8));
    return true;
  }

  const uint8_t* Data() const { return data_; }
  const uint8_t* Current() const { return data_ + (position_ < length_ ? position_ : length_); }
  uint32_t Length() const { return length_; }
  uint32_t Position() const { return position_; }
  uint32_t Remaining() const { return position_ < length_ ? length_ - position_ : 0; }
  bool Exhausted() const { return exhausted_; }

  // Skips n bytes; false (and exhausted) when fewer remain.
  bool Skip(uint32_t n) {
    if (n > Remaining()) {
      position_ = length_;
      exhausted_ = true;
      return false;
    }
    position_ += n;
    return true;
  }

 private:
  const uint8_t* data_;
  uint32_t length_;
  uint32_t position_;
  bool exhausted_;
};
