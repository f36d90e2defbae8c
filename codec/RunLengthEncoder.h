#pragma once
#include <stddef.h>
#include <stdint.h>

// The first stage of the block format: four equal bytes are followed by a count byte of
// further repeats (0..255); shorter runs stand as they are. Each block starts the coding
// afresh, and a coded run never straddles two blocks.
struct RunLengthEncoder {
  struct Filled {
    size_t consumed;  // input bytes taken
    uint32_t length;  // block text written
  };

  // Codes input bytes into text until the next unit would not fit in capacity.
  static Filled Fill(const uint8_t* input, size_t size, uint8_t* text, uint32_t capacity);
};
