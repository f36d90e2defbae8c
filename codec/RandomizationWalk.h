#pragma once
#include <stdint.h>

// The fixed series of block positions whose bytes the packer raises by one before the
// block-sorting transform and the decoder lowers again after it: 8000, 15983, 23983, ...
class RandomizationWalk {
 public:
  RandomizationWalk() : position_(8000), step_(1) {}

  uint32_t Position() const { return position_; }

  void Advance() {
    static const uint8_t kSuccessor[10] = {0, 4, 6, 1, 5, 9, 7, 3, 8, 2};
    step_ = kSuccessor[step_];
    position_ += 17 * step_ + 7915;
  }

 private:
  uint32_t position_;
  uint32_t step_;
};
