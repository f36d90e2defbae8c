#include "BlockEncoder.h"

#include <algorithm>
#include <deque>
#include <future>
#include <thread>

#include "BlockDecoder.h"
#include "BlockModeler.h"
#include "BlockSorter.h"
#include "BlockStreamWriter.h"
#include "MoveToFrontCoder.h"
#include "RandomizationWalk.h"
#include "RunLengthEncoder.h"

namespace {
// Never output by the decoder: the last byte of the final block.
const uint8_t kFiller = 0x2A;

struct PendingBlock {
  std::future<std::vector<uint32_t>> intervals;
  size_t inputEnd;
};

// Everything but the range coding, which alone depends on the blocks before.
std::vector<uint32_t> ModelBlock(std::vector<uint8_t> text, bool final) {
  const uint32_t length = static_cast<uint32_t>(text.size());
  for (RandomizationWalk walk; walk.Position() + 1 < length; walk.Advance()) ++text[walk.Position()];
  std::vector<uint8_t> sorted(length);
  BlockSorter sorter;
  uint32_t origin = sorter.Transform(text.data(), length, sorted.data());
  std::vector<uint16_t> symbols;
  MoveToFrontCoder::Encode(sorted.data(), length, &symbols);
  std::vector<uint32_t> intervals;
  intervals.reserve(symbols.size() * 2 + 4);
  BlockModeler modeler;
  modeler.BeginBlock(final ? -static_cast<int32_t>(origin) - 1 : static_cast<int32_t>(origin) + 1, &intervals);
  for (uint16_t symbol : symbols) modeler.Symbol(symbol, &intervals);
  return intervals;
}
}  // namespace

// Blocks are cut and range-coded in order on this thread; the rest, which takes most of the
// time, runs ahead on other threads. The output does not depend on how many there are.
std::vector<uint8_t> EncodeStream(const uint8_t* data, size_t size,
                                  const std::function<void(size_t)>& progress) {
  std::vector<uint8_t> out;
  BlockStreamWriter writer(&out);
  // One more than the cores, so that no core waits while this thread codes.
  const size_t ahead = std::max(1u, std::thread::hardware_concurrency()) + 1;
  std::deque<PendingBlock> pending;
  size_t position = 0;
  bool cut = false;
  while (!cut || !pending.empty()) {
    while (!cut && pending.size() < ahead) {
      std::vector<uint8_t> text(BlockDecoder::kBlockCapacity);
      RunLengthEncoder::Filled filled =
          RunLengthEncoder::Fill(data + position, size - position, text.data(), BlockDecoder::kBlockCapacity);
      position += filled.consumed;
      text.resize(filled.length);
      // A full block at the end of the input leaves the filler to a block of its own.
      if (position == size && filled.length < BlockDecoder::kBlockCapacity) {
        text.push_back(kFiller);
        cut = true;
      }
      bool final = cut;
      pending.push_back({std::async(std::launch::async, ModelBlock, std::move(text), final), position});
    }
    writer.WriteBlock(pending.front().intervals.get());
    if (progress) progress(pending.front().inputEnd);
    pending.pop_front();
  }
  writer.Finish();
  return out;
}
