#include "RowWalk.h"

#include <gtest/gtest.h>

#include <memory>
#include <numeric>
#include <random>
#include <vector>

namespace {

// Rows whose next-row map is the permutation next, each row holding byte bytes[row], marked
// as the decoder marks them: every entry leading into the origin or a Stride()-th row.
std::vector<uint32_t> Rows(const std::vector<uint32_t>& next, const std::vector<uint8_t>& bytes, uint32_t origin,
                           bool marks = true) {
  const uint32_t n = uint32_t(next.size());
  const uint32_t stride = RowWalk::Stride(n);
  std::vector<uint32_t> rows(n);
  for (uint32_t r = 0; r < n; ++r) {
    uint32_t to = next[r];
    rows[r] = RowWalk::Entry(to, bytes[to], marks && (to % stride == 0 || to == origin));
  }
  return rows;
}

// A permutation of n rows that is one cycle.
std::vector<uint32_t> OneCycle(uint32_t n, std::mt19937& rng) {
  std::vector<uint32_t> order(n);
  std::iota(order.begin(), order.end(), 0);
  std::shuffle(order.begin(), order.end(), rng);
  std::vector<uint32_t> next(n);
  for (uint32_t i = 0; i < n; ++i) next[order[i]] = order[(i + 1) % n];
  return next;
}

struct Walked {
  bool ok;
  std::vector<uint8_t> text;
};

// Scratch and text of exactly the sizes the walk may use, so that ASan sees any byte beyond.
Walked Walk(const std::vector<uint32_t>& rows, uint32_t origin) {
  const uint32_t n = uint32_t(rows.size());
  std::vector<uint8_t> scratch(n + RowWalk::kSlack);
  Walked w{false, std::vector<uint8_t>(n, 0xEE)};
  std::unique_ptr<RowWalk> walk(new RowWalk);
  w.ok = walk->Read(rows.data(), n, origin, scratch.data(), w.text.data());
  return w;
}

std::vector<uint8_t> Expected(const std::vector<uint32_t>& next, const std::vector<uint8_t>& bytes, uint32_t origin) {
  std::vector<uint8_t> text;
  for (uint32_t row = next[origin], i = 0; i < next.size(); ++i, row = next[row]) text.push_back(bytes[row]);
  return text;
}

TEST(RowWalk, OneCycleOfAnyLengthReadsInTextOrder) {
  std::mt19937 rng(7);
  std::vector<uint32_t> lengths;
  for (uint32_t n = 1; n <= 140; ++n) lengths.push_back(n);
  // Around the chunk size, fewer rows than lanes per start, and a full block.
  for (uint32_t n : {4095u, 4096u, 4097u, 8193u, 65 * 4096u + 1, 900000u}) lengths.push_back(n);
  for (uint32_t n : lengths) {
    SCOPED_TRACE(n);
    std::vector<uint32_t> next = OneCycle(n, rng);
    std::vector<uint8_t> bytes(n);
    for (uint8_t& b : bytes) b = uint8_t(rng());
    for (uint32_t origin : {0u, n - 1, uint32_t(rng() % n)}) {
      Walked w = Walk(Rows(next, bytes, origin), origin);
      ASSERT_TRUE(w.ok);
      ASSERT_TRUE(w.text == Expected(next, bytes, origin));
    }
  }
}

TEST(RowWalk, RowsOutsideTheOriginsCycleAreRefusedWithTheTextUntouched) {
  std::mt19937 rng(8);
  for (uint32_t n : {2u, 3u, 66u, 1000u, 20000u}) {
    SCOPED_TRACE(n);
    // Two cycles: the first half of the rows and the second.
    std::vector<uint32_t> next(n);
    uint32_t half = n / 2;
    for (uint32_t r = 0; r < n; ++r) next[r] = r < half ? (r + 1) % half : half + (r + 1 - half) % (n - half);
    std::vector<uint8_t> bytes(n, 'x');
    Walked w = Walk(Rows(next, bytes, 0), 0);
    EXPECT_FALSE(w.ok);
    EXPECT_TRUE(w.text == std::vector<uint8_t>(n, 0xEE));
  }
  // Every row its own cycle, as in a block of one repeated byte.
  std::vector<uint32_t> identity(500);
  std::iota(identity.begin(), identity.end(), 0);
  EXPECT_FALSE(Walk(Rows(identity, std::vector<uint8_t>(500, 'a'), 3), 3).ok);
}

TEST(RowWalk, ChainsThatNeverMeetAMarkEndWhenScratchRunsOut) {
  std::mt19937 rng(9);
  for (uint32_t n : {1u, 100u, 50000u}) {
    std::vector<uint32_t> next = OneCycle(n, rng);
    EXPECT_FALSE(Walk(Rows(next, std::vector<uint8_t>(n, 'y'), 0, false), 0).ok);
  }
}

}  // namespace
