#pragma once
#include <stdint.h>
#include <string.h>

#include <vector>

#include "BlockModels.h"

// Turns the sorted block into block symbols: move-to-front positions 1..255, each run of
// position 0 as a number in run digits (digits 1 and 2, most significant first), and
// kEndOfBlock. Header-only, so that the installer's decoder tests can build streams with it.
struct MoveToFrontCoder {
  static void Encode(const uint8_t* data, uint32_t length, std::vector<uint16_t>* symbols) {
    symbols->clear();
    symbols->reserve(size_t(length) + 1);
    uint8_t order[256];
    for (uint32_t i = 0; i < 256; ++i) order[i] = static_cast<uint8_t>(i);
    uint32_t run = 0;
    for (uint32_t i = 0; i < length; ++i) {
      uint8_t c = data[i];
      if (order[0] == c) {
        ++run;
        continue;
      }
      AppendRun(run, symbols);
      run = 0;
      // Most positions are small: a plain walk finds them sooner than a library call.
      uint32_t p = 1;
      while (p < 16 && order[p] != c) ++p;
      if (p == 16) p = static_cast<uint32_t>(static_cast<const uint8_t*>(memchr(order + 16, c, 240)) - order);
      memmove(order + 1, order, p);
      order[0] = c;
      symbols->push_back(static_cast<uint16_t>(p));
    }
    AppendRun(run, symbols);
    symbols->push_back(kEndOfBlock);
  }

  // A run of run repeats of the front byte; nothing for 0.
  static void AppendRun(uint32_t run, std::vector<uint16_t>* symbols) {
    uint16_t digits[32];
    int count = 0;
    while (run > 0) {
      bool odd = run & 1;
      digits[count++] = odd ? kRunDigit1 : kRunDigit2;
      run = (run - (odd ? 1 : 2)) / 2;
    }
    while (count > 0) symbols->push_back(digits[--count]);
  }
};
