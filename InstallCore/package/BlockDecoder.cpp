#include "BlockDecoder.h"

#include <string.h>

#include "BitReader.h"
#include "Memory.h"
#include "RandomizationWalk.h"
#include "RangeDecoder.h"

namespace {
// A well-formed stream ends where its coded bits end; the decoder's 26-bit window may run a few
// bytes past it, but a stream that asks for another block after that is only reading padding.
const uint32_t kMaxOverrun = 4;

// Rows are ranked within segments of 4096, so that a rank fits beside a 20-bit row number.
const uint32_t kSegmentBits = 12;
const uint32_t kRankMask = (1u << kSegmentBits) - 1;
const uint32_t kSegments = (BlockDecoder::kBlockCapacity + kRankMask) >> kSegmentBits;
static_assert(BlockDecoder::kBlockCapacity <= 1u << (32 - kSegmentBits), "rows must fit in 20 bits");

bool HeaderValid(const uint8_t h[4]) {
  if (h[0] == 'B' && h[1] == 'Z' && h[2] == '0') return h[3] >= '1' && h[3] <= '9';
  if (h[0] == 'R' && h[1] == 'e' && h[2] == 's') return h[3] >= 'B' && h[3] <= 'J';
  return false;
}
}  // namespace

// Reads a block's text off its rows along two chains at once: forwards from the origin for the
// first half, backwards for the second. Every step waits on memory, so the steps are spread
// over the decoding of the next block, whose arithmetic then runs in the waits.
struct BlockDecoder::Chase {
  const uint32_t* rows;
  const uint32_t* bases;
  const uint8_t* symbols;
  uint8_t* text;
  uint32_t forward;
  uint32_t backward;
  uint32_t head;
  uint32_t tail;

  bool Pending() const { return tail - head >= 2; }

  __attribute__((always_inline)) void Step() {
    forward = rows[forward] >> kSegmentBits;
    text[head++] = symbols[forward];
    uint8_t c = symbols[backward];
    text[--tail] = c;
    backward = bases[(backward >> kSegmentBits) * 256 + c] + (rows[backward] & kRankMask);
  }

  __attribute__((always_inline)) void StepIfPending() {
    if (Pending()) Step();
  }

  void Finish() {
    while (Pending()) Step();
    if (head < tail) text[head++] = symbols[rows[forward] >> kSegmentBits];
  }
};

BlockDecoder::BlockDecoder(BlockProgress* progress)
    : progress_(progress),
      symbols_{static_cast<uint8_t*>(MemAlloc(kBlockCapacity)), static_cast<uint8_t*>(MemAlloc(kBlockCapacity))},
      text_(static_cast<uint8_t*>(MemAlloc(kBlockCapacity))),
      occurrences_(static_cast<uint32_t*>(MemAlloc((kBlockCapacity + kSegments * 256) * sizeof(uint32_t)))) {}

BlockDecoder::~BlockDecoder() {
  MemFree(symbols_[0]);
  MemFree(symbols_[1]);
  MemFree(text_);
  MemFree(occurrences_);
}

// Block k is decoded while the text of block k - 1 is read off its rows; then block k - 1 is
// written out and block k indexed.
bool BlockDecoder::DecodeStream(ByteSource& source, ByteSink& sink) {
  if (!symbols_[0] || !symbols_[1] || !text_ || !occurrences_) return false;
  BitReader bits(source);
  uint8_t header[4];
  for (uint8_t& b : header) b = static_cast<uint8_t>(bits.Read(8));
  bool ok = HeaderValid(header);
  if (!ok) {
    bits.Sync();
    return false;
  }
  models_.InitStream();
  RangeDecoder coder(bits);
  coder.Start();
  Chase chase = {};
  Block block = {0, 0, false};
  Block previous = {0, 0, false};
  int current = 0;
  while (ok && !block.final) {
    coder.Bits().Sync();
    if (coder.Bits().Overrun() > kMaxOverrun) return false;
    if (progress_) progress_->OnBlockStart();
    ok = DecodeBlock(coder, symbols_[current], &block, &chase);
    if (ok) {
      chase.Finish();
      ok = WriteBlock(previous, symbols_[1 - current], sink);
    }
    if (ok) {
      IndexRows(block, symbols_[current], &chase);
      previous = block;
      current = 1 - current;
    }
  }
  if (ok) {
    chase.Finish();
    ok = WriteBlock(previous, symbols_[1 - current], sink);
  }
  coder.Bits().Sync();
  return ok;
}

bool BlockDecoder::DecodeBlock(RangeDecoder& coder, uint8_t* symbols, Block* block, Chase* chase) {
  // Stores into the byte buffers could alias state reached through a pointer; local copies
  // stay in registers.
  RangeDecoder localCoder = coder;
  Chase localChase = *chase;
  bool ok = DecodeSymbols(localCoder, symbols, block, &localChase);
  coder = localCoder;
  *chase = localChase;
  return ok;
}

__attribute__((always_inline)) inline uint32_t BlockDecoder::DecodeSymbol(RangeDecoder& coder, Chase* chase) {
  uint32_t b = coder.Decode(models_.basis);
  switch (b) {
    case BlockModels::kBasisRunDigit2:
      return kRunDigit2;
    case BlockModels::kBasisRunDigit1:
      return kRunDigit1;
    case BlockModels::kBasisPosition1:
      return 1;
    case BlockModels::kBasisEndOfBlock:
      return kEndOfBlock;
    default: {
      uint32_t k = b - BlockModels::kBasisFirstClass + 1;
      chase->StepIfPending();
      return BlockModels::ClassOffset(k) + coder.Decode(models_.positions[k - 1]);
    }
  }
}

__attribute__((always_inline)) inline bool BlockDecoder::DecodeSymbols(RangeDecoder& coder, uint8_t* symbols,
                                                                       Block* block, Chase* chase) {
  uint32_t word = 0;
  for (int i = 0; i < 4; ++i) word = word << 8 | (coder.Decode(models_.bogus) - 1);
  if (word == 0) return false;
  block->final = static_cast<int32_t>(word) < 0;
  block->origin = block->final ? ~word : word - 1;

  models_.InitBlock();
  uint8_t order[256];
  for (uint32_t i = 0; i < 256; ++i) order[i] = static_cast<uint8_t>(i);
  memset(byteCounts_, 0, sizeof byteCounts_);
  uint32_t length = 0;

  uint32_t symbol = DecodeSymbol(coder, chase);
  while (symbol != kEndOfBlock) {
    chase->StepIfPending();
    if (IsRunDigit(symbol)) {
      uint32_t run = 0;
      do {
        run = 2 * run + (symbol == kRunDigit2 ? 2 : 1);
        // Checked at every digit, so the value never overflows.
        if (run > kBlockCapacity - length) return false;
        symbol = DecodeSymbol(coder, chase);
      } while (IsRunDigit(symbol));
      memset(symbols + length, order[0], run);
      byteCounts_[order[0]] += run;
      length += run;
    } else {
      if (length == kBlockCapacity) return false;
      uint8_t c = order[symbol];
      memmove(order + 1, order, symbol);
      order[0] = c;
      symbols[length++] = c;
      ++byteCounts_[c];
      symbol = DecodeSymbol(coder, chase);
    }
  }
  block->length = length;
  return length == 0 || block->origin < length;
}

void BlockDecoder::IndexRows(const Block& block, const uint8_t* symbols, Chase* chase) {
  uint32_t* rows = occurrences_;
  uint32_t* bases = occurrences_ + kBlockCapacity;
  // next[c]: the row of the next c of the transformed block, i.e. the row of the text position
  // before the one that c stands for.
  uint32_t next[256];
  uint32_t sum = 0;
  for (uint32_t c = 0; c < 256; ++c) {
    next[c] = sum;
    sum += byteCounts_[c];
  }
  const uint32_t* segmentBase = bases;
  for (uint32_t r = 0; r < block.length; ++r) {
    if ((r & kRankMask) == 0) {
      uint32_t* base = bases + (r >> kSegmentBits) * 256;
      memcpy(base, next, sizeof next);
      segmentBase = base;
    }
    uint8_t c = symbols[r];
    uint32_t before = next[c]++;
    // Every entry gets both halves exactly once, in either order.
    rows[r] = (rows[r] & ~kRankMask) | (before - segmentBase[c]);
    rows[before] = (rows[before] & kRankMask) | r << kSegmentBits;
  }
  *chase = {rows, bases, symbols, text_, block.origin, block.origin, 0, block.length};
}

bool BlockDecoder::WriteBlock(const Block& block, uint8_t* staging, ByteSink& sink) {
  const uint32_t length = block.length;
  if (length == 0) return true;
  const uint32_t last = length - 1;
  for (RandomizationWalk walk; walk.Position() < last; walk.Advance()) --text_[walk.Position()];

  // The final block's last byte is a filler; a count byte may still fall on it.
  const uint32_t end = block.final ? last : length;
  // Room for one byte and the longest expansion of a run.
  const uint32_t flushAt = kBlockCapacity - 256;
  uint32_t out = 0;
  uint32_t previous = 256;
  uint32_t count = 0;
  uint32_t i = 0;
  while (i < end) {
    if (out > flushAt) {
      if (!sink.Write(staging, out)) return false;
      out = 0;
    }
    uint8_t x = text_[i++];
    staging[out++] = x;
    if (x != previous) {
      count = 1;
      previous = x;
    } else if (++count == 4) {
      if (i == length) return false;
      uint8_t k = text_[i++];
      memset(staging + out, x, k);
      out += k;
      count = 0;
    }
  }
  return sink.Write(staging, out);
}
