#pragma once
#include <stdint.h>

// Sizes are counted in 32-bit kilobytes; a count that would wrap stays at the largest value
// instead, so that a huge file or drive never looks small.
namespace Kilobytes {

const uint32_t kMax = 0xFFFFFFFFu;

inline uint32_t FromBytes(uint64_t bytes) {
  uint64_t kb = bytes >> 10;
  return kb > kMax ? kMax : uint32_t(kb);
}

inline uint32_t Add(uint32_t a, uint32_t b) { return a > kMax - b ? kMax : a + b; }

}  // namespace Kilobytes
