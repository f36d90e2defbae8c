#pragma once
#include <stdint.h>

#include <vector>

// Arithmetic encoder that the installer's RangeDecoder follows bit for bit: same scale, same
// symbol intervals, same renormalisation. low holds the decoder's 26-bit window plus the bits
// shifted out since the last whole byte; a carry out of it is passed on to the bytes held back.
class RangeEncoder {
 public:
  explicit RangeEncoder(std::vector<uint8_t>* out) : out_(out) {}

  // The symbol with cumulative frequency below and frequency out of total.
  void Encode(uint32_t total, uint32_t below, uint32_t frequency) {
    uint32_t scale = range_ / total;
    uint32_t offset = below * scale;
    low_ += offset;
    // The last symbol takes what the truncated scale leaves over.
    range_ = below + frequency < total ? frequency * scale : range_ - offset;
    uint32_t shift = __builtin_clz(range_ - 1) - 7;
    range_ <<= shift;
    low_ <<= shift;
    width_ += shift;
    while (width_ >= kWindowBits + 8) ShiftByte();
  }

  // Writes the window as it stands, padded with zero bits to a whole byte: exactly the bytes
  // the decoder reads.
  void Finish() {
    uint32_t pad = (8 - width_ % 8) % 8;
    low_ <<= pad;
    width_ += pad;
    while (width_ > 0) ShiftByte();
    if (held_) out_->push_back(cache_);
    out_->insert(out_->end(), pending_, 0xFF);
    held_ = false;
    pending_ = 0;
  }

 private:
  static const uint32_t kWindowBits = 26;

  void ShiftByte() {
    width_ -= 8;
    uint32_t top = static_cast<uint32_t>(low_ >> width_);  // the byte and a carry above it
    low_ &= (uint64_t(1) << width_) - 1;
    // A 0xFF may still turn into 0x00 with a carry into the byte before it.
    if (top == 0xFF) {
      ++pending_;
      return;
    }
    uint8_t carry = static_cast<uint8_t>(top >> 8);
    if (held_) out_->push_back(static_cast<uint8_t>(cache_ + carry));
    out_->insert(out_->end(), pending_, static_cast<uint8_t>(0xFF + carry));
    pending_ = 0;
    cache_ = static_cast<uint8_t>(top);
    held_ = true;
  }

  std::vector<uint8_t>* out_;
  uint32_t range_ = 1u << 25;
  uint64_t low_ = 0;
  uint32_t width_ = kWindowBits;
  uint8_t cache_ = 0;
  bool held_ = false;
  size_t pending_ = 0;
};
