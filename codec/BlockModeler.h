#pragma once
#include <stdint.h>

#include <vector>

#include "BlockModels.h"

// Runs a block's origin word and symbols through the models the decoder keeps and records, for
// each coded symbol, the interval the range coder needs: total, cumulative frequency below the
// symbol and its frequency, 10 bits each (no total exceeds the models' limit of 1000). The models
// restart with every block ("bogus" never changes), so blocks are modelled independently.
class BlockModeler {
 public:
  static uint32_t Total(uint32_t interval) { return interval >> 20; }
  static uint32_t Below(uint32_t interval) { return interval >> 10 & 0x3FF; }
  static uint32_t Frequency(uint32_t interval) { return interval & 0x3FF; }

  BlockModeler() { models_.InitStream(); }

  // word is origin + 1, negated for the final block.
  void BeginBlock(int32_t word, std::vector<uint32_t>* out) {
    uint32_t w = static_cast<uint32_t>(word);
    for (int shift = 24; shift >= 0; shift -= 8) Add(models_.bogus, ((w >> shift) & 0xFF) + 1, out);
    models_.InitBlock();
  }

  // Move-to-front positions 1..255, run digits and kEndOfBlock.
  void Symbol(uint32_t symbol, std::vector<uint32_t>* out) {
    switch (symbol) {
      case kRunDigit2:
        Add(models_.basis, BlockModels::kBasisRunDigit2, out);
        return;
      case kRunDigit1:
        Add(models_.basis, BlockModels::kBasisRunDigit1, out);
        return;
      case kEndOfBlock:
        Add(models_.basis, BlockModels::kBasisEndOfBlock, out);
        return;
      case 1:
        Add(models_.basis, BlockModels::kBasisPosition1, out);
        return;
      default: {
        uint32_t k = BlockModels::PositionClass(symbol);
        Add(models_.basis, BlockModels::kBasisFirstClass + k - 1, out);
        Add(models_.positions[k - 1], symbol - BlockModels::ClassOffset(k), out);
      }
    }
  }

 private:
  static void Add(FrequencyModel& model, uint32_t symbol, std::vector<uint32_t>* out) {
    out->push_back(model.Total() << 20 | model.CumulativeBelow(symbol) << 10 | model.Frequency(symbol));
    model.Update(symbol);
  }

  BlockModels models_;
};
