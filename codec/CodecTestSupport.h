#pragma once
// Helpers shared by the decoder's and the encoder's tests.
#include <stdint.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

#include "BlockDecoder.h"
#include "BlockStreamWriter.h"
#include "MoveToFrontCoder.h"
#include "RandomizationWalk.h"

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

// Bytes without four equal in a row, so that they are their own block text.
inline std::vector<uint8_t> RunFreeBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) {
    v[i] = static_cast<uint8_t>(rng());
    if (i >= 3 && v[i] == v[i - 1] && v[i] == v[i - 2] && v[i] == v[i - 3]) v[i] ^= 1;
  }
  return v;
}

// A block as the coder sees it: its origin word and its block symbols.
struct CraftedBlock {
  int32_t word;
  std::vector<uint16_t> symbols;
};

inline int32_t Word(uint32_t origin, bool final) {
  return final ? -static_cast<int32_t>(origin) - 1 : static_cast<int32_t>(origin) + 1;
}

inline std::vector<uint8_t> Craft(const std::vector<CraftedBlock>& blocks, const char* header = "ResJ") {
  std::vector<uint8_t> out;
  BlockStreamWriter writer(&out, header);
  for (const CraftedBlock& block : blocks) {
    writer.BeginBlock(block.word);
    for (uint16_t symbol : block.symbols) writer.WriteSymbol(symbol);
  }
  writer.Finish();
  return out;
}

// Block text (after run-length coding) to block symbols, independently of the packer's block
// sorter; raise is the packer's +1 along the walk.
inline CraftedBlock FromText(std::vector<uint8_t> text, bool final, bool raise = true) {
  const size_t n = text.size();
  if (raise)
    for (RandomizationWalk walk; walk.Position() + 1 < n; walk.Advance()) ++text[walk.Position()];
  std::vector<uint32_t> rows = SortedRotations(text);
  std::vector<uint8_t> last(n);
  uint32_t origin = 0;
  for (size_t i = 0; i < n; ++i) {
    last[i] = text[(rows[i] + n - 1) % n];
    if (rows[i] == 0) origin = static_cast<uint32_t>(i);
  }
  CraftedBlock block{Word(origin, final), {}};
  MoveToFrontCoder::Encode(last.data(), static_cast<uint32_t>(n), &block.symbols);
  return block;
}

}  // namespace codec_test
