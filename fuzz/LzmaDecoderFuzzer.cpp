// Decodes arbitrary bytes as a long-range stream: the first four bytes give the content's size
// (little-endian, at most 4 MiB), the rest is the stream. Whatever the input, the decoder must
// stay inside the stream and the exactly sized output buffer, in steps of any size.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include "LzmaDecoder.h"

namespace {
const uint32_t kMaxContent = 4u << 20;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4 || size > 0xFFFFFFFFu) return 0;
  uint32_t content = (uint32_t(data[0]) | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16 | uint32_t(data[3]) << 24) %
                     (kMaxContent + 1);
  // Its own allocation of exactly the content's size, so ASan sees a write past it.
  uint8_t* out = static_cast<uint8_t*>(malloc(content ? content : 1));
  LzmaDecoder decoder(data + 4, uint32_t(size - 4), out, content);
  // Steps that vary with the input reach every place a request can end, a match included.
  uint32_t step = 1 + data[0] % 61 * 1000;
  while (!decoder.Failed() && decoder.Ready() < content) {
    uint32_t before = decoder.Ready();
    uint32_t target = content - before > step ? before + step : content;
    if (decoder.DecodeUntil(target) && decoder.Ready() != target) __builtin_trap();
  }
  if (decoder.Consumed() > size - 4) __builtin_trap();
  free(out);
  return 0;
}
