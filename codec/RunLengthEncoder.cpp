#include "RunLengthEncoder.h"

#include <string.h>

namespace {
const size_t kLongestRun = 4 + 255;
}

RunLengthEncoder::Filled RunLengthEncoder::Fill(const uint8_t* input, size_t size, uint8_t* text,
                                                uint32_t capacity) {
  size_t i = 0;
  uint32_t n = 0;
  while (i < size && n < capacity) {
    uint8_t x = input[i];
    size_t limit = size - i < kLongestRun ? size - i : kLongestRun;
    size_t run = 1;
    while (run < limit && input[i + run] == x) ++run;
    if (run >= 4) {
      if (capacity - n < 5) break;
      memset(text + n, x, 4);
      text[n + 4] = static_cast<uint8_t>(run - 4);
      n += 5;
    } else {
      // Fewer than four stand as plain bytes; a short run cut by the block's end goes on in the
      // next block, which starts its own count.
      if (run > capacity - n) run = capacity - n;
      memset(text + n, x, run);
      n += static_cast<uint32_t>(run);
    }
    i += run;
  }
  return {i, n};
}
