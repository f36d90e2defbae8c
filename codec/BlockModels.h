#pragma once
#include <stdint.h>

#include "FrequencyModel.h"

// Values of a block's symbol stream besides the move-to-front positions 1..255.
enum BlockSymbol : uint32_t {
  kRunDigit2 = 257,
  kRunDigit1 = 258,
  kEndOfBlock = 259,
};

inline bool IsRunDigit(uint32_t symbol) { return symbol - kRunDigit2 < 2; }

// The nine models of a stream and how block symbols map onto them: "basis" picks a run digit,
// position 1, the end of the block, or one of seven classes of positions 2^k..2^(k+1)-1, whose
// own model then picks the position within the class.
struct BlockModels {
  static const uint32_t kPositionClasses = 7;
  static const uint32_t kBasisRunDigit2 = 1;
  static const uint32_t kBasisRunDigit1 = 2;
  static const uint32_t kBasisPosition1 = 3;
  static const uint32_t kBasisFirstClass = 4;
  static const uint32_t kBasisEndOfBlock = 11;

  // "bogus" lives for the whole stream.
  void InitStream();
  // "basis" and the position models start afresh in every block.
  void InitBlock();

  // Class k (1..7) of a position 2..255, its basis symbol kBasisFirstClass + k - 1 and the
  // offset (2^k - 1) that the class model's symbol adds to.
  static uint32_t PositionClass(uint32_t position) { return 31 - __builtin_clz(position); }
  static uint32_t ClassOffset(uint32_t positionClass) { return (1u << positionClass) - 1; }

  FrequencyModel bogus;
  FrequencyModel basis;
  FrequencyModel positions[kPositionClasses];
};
