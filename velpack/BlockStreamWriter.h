#pragma once
#include <stdint.h>

#include <vector>

#include "BlockModels.h"
#include "RangeEncoder.h"

// Writes the coded form of a stream: the header, then for every block its origin word and its
// block symbols (move-to-front positions 1..255, run digits, the end of the block), and the
// final flush. It codes whatever it is given, so tests can also build streams that are wrong.
class BlockStreamWriter {
 public:
  explicit BlockStreamWriter(std::vector<uint8_t>* out, const char* header = "ResJ") : coder_(out) {
    out->insert(out->end(), header, header + 4);
    models_.InitStream();
  }

  // word is origin + 1, negated for the final block.
  void BeginBlock(int32_t word) {
    uint32_t w = static_cast<uint32_t>(word);
    for (int shift = 24; shift >= 0; shift -= 8) coder_.Encode(models_.bogus, ((w >> shift) & 0xFF) + 1);
    models_.InitBlock();
  }

  void WriteSymbol(uint32_t symbol) {
    switch (symbol) {
      case kRunDigit2:
        coder_.Encode(models_.basis, BlockModels::kBasisRunDigit2);
        return;
      case kRunDigit1:
        coder_.Encode(models_.basis, BlockModels::kBasisRunDigit1);
        return;
      case kEndOfBlock:
        coder_.Encode(models_.basis, BlockModels::kBasisEndOfBlock);
        return;
      case 1:
        coder_.Encode(models_.basis, BlockModels::kBasisPosition1);
        return;
      default: {
        uint32_t k = BlockModels::PositionClass(symbol);
        coder_.Encode(models_.basis, BlockModels::kBasisFirstClass + k - 1);
        coder_.Encode(models_.positions[k - 1], symbol - BlockModels::ClassOffset(k));
      }
    }
  }

  void Finish() { coder_.Finish(); }

 private:
  BlockModels models_;
  RangeEncoder coder_;
};
