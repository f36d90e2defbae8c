#pragma once
#include <stdint.h>

#include "BitReader.h"
#include "FrequencyModel.h"

// Arithmetic decoder over the bit cursor, which it carries: a 25-bit range, a code that the
// stream's bits shift into, renormalised whenever the range falls to 2^24 or below. A copy in
// a local variable lets a hot loop keep the whole state in registers.
class RangeDecoder {
 public:
  static const uint32_t kInitialRange = 1u << 25;
  static const uint32_t kCodeBits = 26;

  explicit RangeDecoder(const BitReader& bits) : bits_(bits), range_(kInitialRange), code_(0) {}

  BitReader& Bits() { return bits_; }
  uint32_t Code() const { return code_; }

  void Start() {
    range_ = kInitialRange;
    code_ = bits_.Read(kCodeBits - 13) << 13;
    code_ |= bits_.Read(13);
  }

  // Decodes one symbol and updates the model with it. Corrupt input only yields wrong symbols:
  // the range stays within (2^24, 2^25] and all arithmetic is modular.
  __attribute__((always_inline)) uint32_t Decode(FrequencyModel& model) {
    uint32_t scale = range_ / model.Total();
    uint32_t below;
    uint32_t symbol = model.Find(code_, scale, &below);
    uint32_t offset = below * scale;
    code_ -= offset;
    // The last symbol takes what the truncated scale leaves over.
    range_ = symbol < model.Symbols() ? model.Frequency(symbol) * scale : range_ - offset;
    // Doublings until the range exceeds 2^24, at once.
    uint32_t shift = __builtin_clz(range_ - 1) - 7;
    range_ <<= shift;
    code_ = (code_ << shift) | bits_.Read(shift);
    model.Update(symbol);
    return symbol;
  }

 private:
  BitReader bits_;
  uint32_t range_;
  uint32_t code_;
};
