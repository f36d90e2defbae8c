#include "BlockModels.h"

namespace {
const uint32_t kLimit = 1000;

struct PositionModel {
  const char* name;
  uint32_t initial;
};
const PositionModel kPositionModels[BlockModels::kPositionClasses] = {
    {"2-3", 4}, {"4-7", 3}, {"8-15", 3}, {"16-31", 3}, {"32-63", 3}, {"64-127", 2}, {"128-255", 1},
};
}  // namespace

void BlockModels::InitStream() { bogus.Init("bogus", 256, 0, 256); }

void BlockModels::InitBlock() {
  basis.Init("basis", 11, 12, kLimit);
  for (uint32_t k = 0; k < kPositionClasses; ++k)
    positions[k].Init(kPositionModels[k].name, 2u << k, kPositionModels[k].initial, kLimit);
}
