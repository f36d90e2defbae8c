// Decodes arbitrary bytes as a compressed stream into a bounded buffer: whatever the input, the
// decoder must return without reading or writing outside its buffers, the source or the sink.
#include <stddef.h>
#include <stdint.h>

#include "BlockDecoder.h"

namespace {
struct CountingProgress : BlockProgress {
  void OnBlockStart() override { ++blocks; }
  uint32_t blocks = 0;
};

// Larger than any seed's output, small enough that a run of long blocks hits the limit.
const uint32_t kOutputCapacity = 4u << 20;
uint8_t g_output[kOutputCapacity];
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0xFFFFFFFFu) return 0;
  CountingProgress progress;
  BlockDecoder decoder(&progress);
  ByteSource source(data, static_cast<uint32_t>(size));
  MemorySink sink(g_output, kOutputCapacity);
  bool ok = decoder.DecodeStream(source, sink);
  // A stream that succeeds has at least one block and ends inside, or just past, its bytes.
  if (ok && (progress.blocks == 0 || sink.Count() > kOutputCapacity)) __builtin_trap();
  return 0;
}
