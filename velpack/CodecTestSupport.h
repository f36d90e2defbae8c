#pragma once
// Helpers shared by the decoder's and the encoder's tests.
#include <stdint.h>

#include <algorithm>
#include <numeric>
#include <vector>

#include "BlockDecoder.h"

namespace codec_test {

struct Decoded {
  bool ok;
  std::vector<uint8_t> bytes;
  // The source's position at the start of every block.
  std::vector<uint32_t> blockPositions;
  bool consumedExactly;
};

// Decodes into a heap buffer of exactly capacity bytes, so that writing past it is caught.
inline Decoded Decode(const std::vector<uint8_t>& stream, size_t capacity) {
  struct Recorder : BlockProgress {
    explicit Recorder(const ByteSource& s) : source(s) {}
    void OnBlockStart() override { positions.push_back(source.Position()); }
    const ByteSource& source;
    std::vector<uint32_t> positions;
  };
  ByteSource source(stream.data(), static_cast<uint32_t>(stream.size()));
  Recorder recorder(source);
  BlockDecoder decoder(&recorder);
  std::vector<uint8_t> bytes(capacity);
  MemorySink sink(bytes.data(), static_cast<uint32_t>(capacity));
  bool ok = decoder.DecodeStream(source, sink);
  bytes.resize(sink.Count());
  return {ok, bytes, recorder.positions, source.Position() == stream.size() && !source.Exhausted()};
}

// Starts of the cyclic rotations of s in sorted order, the slow way.
inline std::vector<uint32_t> SortedRotations(const std::vector<uint8_t>& s) {
  const size_t n = s.size();
  std::vector<uint32_t> rows(n);
  std::iota(rows.begin(), rows.end(), 0);
  std::stable_sort(rows.begin(), rows.end(), [&](uint32_t a, uint32_t b) {
    for (size_t k = 0; k < n; ++k) {
      uint8_t x = s[(a + k) % n], y = s[(b + k) % n];
      if (x != y) return x < y;
    }
    return false;
  });
  return rows;
}

}  // namespace codec_test
