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

static_assert(BlockDecoder::kBlockCapacity <= RowWalk::kMaxRows, "rows must fit beside a byte");
static_assert(RowWalk::kMaxPieces >=
                  RowWalk::kSegments + (BlockDecoder::kBlockCapacity + RowWalk::kSlack) / RowWalk::kChunk + 1,
              "a full block must not run out of pieces");

bool HeaderValid(const uint8_t h[4]) {
  if (h[0] == 'B' && h[1] == 'Z' && h[2] == '0') return h[3] >= '1' && h[3] <= '9';
  if (h[0] == 'R' && h[1] == 'e' && h[2] == 's') return h[3] >= 'B' && h[3] <= 'J';
  return false;
}
}  // namespace

BlockDecoder::BlockDecoder(BlockProgress* progress)
    : progress_(progress),
      symbols_(static_cast<uint8_t*>(MemAlloc(kBlockCapacity))),
      text_(static_cast<uint8_t*>(MemAlloc(kBlockCapacity + RowWalk::kSlack))),
      rows_(static_cast<uint32_t*>(MemAlloc(kBlockCapacity * sizeof(uint32_t)))) {}

BlockDecoder::~BlockDecoder() {
  MemFree(symbols_);
  MemFree(text_);
  MemFree(rows_);
}

bool BlockDecoder::DecodeStream(ByteSource& source, ByteSink& sink) {
  if (!symbols_ || !text_ || !rows_) return false;
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
  Block block = {0, 0, false};
  while (ok && !block.final) {
    coder.Bits().Sync();
    if (coder.Bits().Overrun() > kMaxOverrun) return false;
    if (progress_) progress_->OnBlockStart();
    ok = DecodeBlock(coder, &block) && WriteBlock(block, ReadText(block), sink);
  }
  coder.Bits().Sync();
  return ok;
}

bool BlockDecoder::DecodeBlock(RangeDecoder& coder, Block* block) {
  // Stores into the byte buffers could alias state reached through a pointer; a local copy
  // stays in registers.
  RangeDecoder localCoder = coder;
  bool ok = DecodeSymbols(localCoder, block);
  coder = localCoder;
  return ok;
}

__attribute__((always_inline)) inline uint32_t BlockDecoder::DecodeSymbol(RangeDecoder& coder) {
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
      return BlockModels::ClassOffset(k) + coder.Decode(models_.positions[k - 1]);
    }
  }
}

__attribute__((always_inline)) inline bool BlockDecoder::DecodeSymbols(RangeDecoder& coder, Block* block) {
  uint32_t word = 0;
  for (int i = 0; i < 4; ++i) word = word << 8 | (coder.Decode(models_.bogus) - 1);
  if (word == 0) return false;
  block->final = static_cast<int32_t>(word) < 0;
  block->origin = block->final ? ~word : word - 1;

  models_.InitBlock();
  // The move-to-front list, after 16 bytes that its moves may spill into.
  uint8_t padded[16 + 256] = {};
  uint8_t* order = padded + 16;
  for (uint32_t i = 0; i < 256; ++i) order[i] = static_cast<uint8_t>(i);
  memset(byteCounts_, 0, sizeof byteCounts_);
  uint8_t* symbols = symbols_;
  uint32_t length = 0;

  uint32_t symbol = DecodeSymbol(coder);
  while (symbol != kEndOfBlock) {
    if (IsRunDigit(symbol)) {
      uint32_t run = 0;
      do {
        run = 2 * run + (symbol == kRunDigit2 ? 2 : 1);
        // Checked at every digit, so the value never overflows.
        if (run > kBlockCapacity - length) return false;
        symbol = DecodeSymbol(coder);
      } while (IsRunDigit(symbol));
      memset(symbols + length, order[0], run);
      byteCounts_[order[0]] += run;
      length += run;
    } else {
      if (length == kBlockCapacity) return false;
      uint8_t c = order[symbol];
      // Whole 16-byte pieces from the top down, the lowest reaching into the padding: memmove
      // would choose its way by the length, a branch that fails to predict at many symbols.
      for (int32_t i = int32_t(symbol) - 16; i > -16; i -= 16) {
        uint8_t piece[16];
        memcpy(piece, order + i, 16);
        memcpy(order + i + 1, piece, 16);
      }
      order[0] = c;
      symbols[length++] = c;
      ++byteCounts_[c];
      symbol = DecodeSymbol(coder);
    }
  }
  block->length = length;
  return length == 0 || block->origin < length;
}

void BlockDecoder::FirstRows(uint32_t next[256]) const {
  uint32_t sum = 0;
  for (uint32_t c = 0; c < 256; ++c) {
    next[c] = sum;
    sum += byteCounts_[c];
  }
}

uint8_t* BlockDecoder::ReadText(const Block& block) {
  const uint32_t length = block.length;
  if (length == 0) return symbols_;
  // next[c]: the row of the next c of the transformed block, i.e. the row of the text position
  // before the one that c stands for; that row's entry leads to this one.
  uint32_t next[256];
  FirstRows(next);
  const uint8_t* symbols = symbols_;
  uint32_t* rows = rows_;
  const uint32_t stride = RowWalk::Stride(length);
  for (uint32_t from = 0; from < length; from += stride) {
    uint32_t to = length - from > stride ? from + stride : length;
    for (uint32_t r = from; r < to; ++r) {
      uint8_t c = symbols[r];
      rows[next[c]++] = RowWalk::Entry(r, c, r == from || r == block.origin);
    }
  }
  // The text goes where the symbols were, which the walk no longer needs.
  if (walk_.Read(rows, length, block.origin, text_, symbols_)) return symbols_;
  ReadTextInOneChain(block);
  return text_;
}

void BlockDecoder::ReadTextInOneChain(const Block& block) {
  uint32_t next[256];
  FirstRows(next);
  // rows[r]: the row of the text position before r's.
  for (uint32_t r = 0; r < block.length; ++r) rows_[r] = next[symbols_[r]]++;
  uint32_t row = block.origin;
  for (uint32_t i = block.length; i-- > 0;) {
    text_[i] = symbols_[row];
    row = rows_[row];
  }
}

bool BlockDecoder::WriteBlock(const Block& block, uint8_t* text, ByteSink& sink) {
  const uint32_t length = block.length;
  if (length == 0) return true;
  uint8_t* staging = text == symbols_ ? text_ : symbols_;
  const uint32_t last = length - 1;
  for (RandomizationWalk walk; walk.Position() < last; walk.Advance()) --text[walk.Position()];

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
    uint8_t x = text[i++];
    staging[out++] = x;
    if (x != previous) {
      count = 1;
      previous = x;
    } else if (++count == 4) {
      if (i == length) return false;
      uint8_t k = text[i++];
      memset(staging + out, x, k);
      out += k;
      count = 0;
    }
  }
  return sink.Write(staging, out);
}
