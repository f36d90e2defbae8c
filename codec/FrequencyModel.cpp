#include "FrequencyModel.h"

void FrequencyModel::Init(const char* name, uint32_t symbols, uint32_t initial, uint32_t limit) {
  name_ = name;
  symbols_ = symbols;
  increment_ = initial;
  limit_ = limit;
  lastGroup_ = (symbols - 1) / kGroupSize;
  uint32_t value = initial ? initial : 1;
  frequency_[0] = 0;
  for (uint32_t s = 1; s <= symbols; ++s) frequency_[s] = value;
  frequency_[symbols + 1] = 0;
  total_ = symbols * value;
  SumGroups();
}

void FrequencyModel::Halve() {
  total_ = 0;
  for (uint32_t s = 1; s <= symbols_; ++s) {
    frequency_[s] = (frequency_[s] + 1) / 2;
    total_ += frequency_[s];
  }
  SumGroups();
}

void FrequencyModel::SumGroups() {
  for (uint32_t g = 0; g <= lastGroup_; ++g) groupSum_[g] = 0;
  for (uint32_t s = 1; s <= symbols_; ++s) groupSum_[(s - 1) / kGroupSize] += frequency_[s];
}
