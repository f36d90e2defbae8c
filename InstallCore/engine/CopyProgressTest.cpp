#include "CopyProgress.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// The percentages reported while a file of size bytes is copied in chunks of chunk bytes.
std::vector<int> Reports(uint64_t size, uint64_t chunk) {
  CopyProgress progress(size);
  std::vector<int> percents;
  int percent = 0;
  for (uint64_t copied = 0; copied < size;) {
    copied = copied + chunk < size ? copied + chunk : size;
    while (progress.Next(copied, &percent)) percents.push_back(percent);
  }
  return percents;
}

TEST(CopyProgressTest, ReportsAfterEveryStepWhateverTheChunks) {
  EXPECT_EQ(Reports(5000, 1), (std::vector<int>{40, 80}));
  EXPECT_EQ(Reports(5000, 65536), (std::vector<int>{40, 80}));
  // The byte at index 4000 is the last one: it is reported.
  EXPECT_EQ(Reports(4001, 3000), (std::vector<int>{49, 99}));
  EXPECT_EQ(Reports(4000, 3000), (std::vector<int>{50}));
  EXPECT_TRUE(Reports(0, 65536).empty());
  std::vector<int> big = Reports(300000, 65536);
  ASSERT_EQ(big.size(), 149u);
  EXPECT_EQ(big[0], 0);
  EXPECT_EQ(big[74], 50);
}

TEST(CopyProgressTest, FilesAroundFourGibibytesEndAndStayInRange) {
  for (uint64_t size : {0xFFFFFFFFull - 1000, 0xFFFFFFFFull, 0x100000000ull + 12345}) {
    CopyProgress progress(size);
    uint64_t reports = 0;
    int percent = 0, last = -1;
    bool ordered = true;
    while (progress.Next(size, &percent)) {
      ordered = ordered && percent >= last && percent <= 100;
      last = percent;
      ++reports;
    }
    EXPECT_EQ(reports, (size - 1) / CopyProgress::kStep) << size;
    EXPECT_TRUE(ordered) << size;
    EXPECT_EQ(last, 99) << size;
  }
}

}  // namespace
