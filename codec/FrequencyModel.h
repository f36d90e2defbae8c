#pragma once
#include <stdint.h>

// Adaptive frequencies of the symbols 1..n that the range coder divides its interval by.
// Symbols are kept in groups of 16 with their sums, so that finding a symbol of a large model
// walks whole groups first.
class FrequencyModel {
 public:
  static const uint32_t kMaxSymbols = 256;

  // initial 0 makes a static model: every frequency 1, never updated.
  void Init(const char* name, uint32_t symbols, uint32_t initial, uint32_t limit);

  const char* Name() const { return name_; }
  uint32_t Symbols() const { return symbols_; }
  uint32_t Total() const { return total_; }
  uint32_t Frequency(uint32_t symbol) const { return frequency_[symbol]; }

  // Sum of the frequencies of the symbols below symbol.
  uint32_t CumulativeBelow(uint32_t symbol) const {
    uint32_t sum = 0;
    uint32_t group = (symbol - 1) / kGroupSize;
    for (uint32_t g = 0; g < group; ++g) sum += groupSum_[g];
    for (uint32_t s = group * kGroupSize + 1; s < symbol; ++s) sum += frequency_[s];
    return sum;
  }

  // The smallest symbol whose cumulative frequency times scale exceeds code, or the last symbol
  // when none does; *below receives the cumulative frequency of the symbols before it.
  // Comparing products instead of dividing code by scale gives the same symbol.
  __attribute__((always_inline)) uint32_t Find(uint32_t code, uint32_t scale, uint32_t* below) const {
    uint32_t sum = 0;
    uint32_t group = 0;
    while (group < lastGroup_ && (sum + groupSum_[group]) * scale <= code) sum += groupSum_[group++];
    uint32_t symbol = group * kGroupSize + 1;
    while (symbol < symbols_ && (sum + frequency_[symbol]) * scale <= code) sum += frequency_[symbol++];
    *below = sum;
    return symbol;
  }

  __attribute__((always_inline)) void Update(uint32_t symbol) {
    total_ += increment_;
    frequency_[symbol] += increment_;
    groupSum_[(symbol - 1) / kGroupSize] += increment_;
    if (total_ > limit_) Halve();
  }

 private:
  static const uint32_t kGroupSize = 16;

  // Rounds up, so that no symbol ever gets frequency 0.
  void Halve();
  void SumGroups();

  const char* name_;
  uint32_t symbols_;
  uint32_t increment_;
  uint32_t limit_;
  uint32_t total_;
  uint32_t lastGroup_;
  // Index 0 and symbols_ + 1 stay 0.
  uint32_t frequency_[kMaxSymbols + 2];
  uint32_t groupSum_[kMaxSymbols / kGroupSize];
};
