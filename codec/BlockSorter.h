#pragma once
#include <stdint.h>

#include <vector>

// The block-sorting transform: the last column of the sorted cyclic rotations of a block, and
// the row at which the block itself stands.
class BlockSorter {
 public:
  // Writes length bytes to out and returns the origin row.
  uint32_t Transform(const uint8_t* text, uint32_t length, uint8_t* out);

 private:
  std::vector<uint8_t> rotated_;
  std::vector<int32_t> suffixes_;
};
