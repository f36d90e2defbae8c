#include "BlockEncoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "BlockDecoder.h"
#include "BlockSorter.h"
#include "CodecTestSupport.h"

namespace {

using codec_test::Decode;
using codec_test::Decoded;
using codec_test::RunFreeBytes;

void ExpectRoundTrip(const std::vector<uint8_t>& input, int blocks = -1) {
  std::vector<uint8_t> stream = EncodeStream(input.data(), input.size());
  Decoded decoded = Decode(stream, input.size());
  ASSERT_TRUE(decoded.ok);
  ASSERT_EQ(decoded.bytes.size(), input.size());
  EXPECT_TRUE(decoded.bytes == input);
  EXPECT_TRUE(decoded.consumedExactly);
  if (blocks >= 0) EXPECT_EQ(decoded.blockPositions.size(), size_t(blocks));
}

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed, int alphabet = 256) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(rng() % alphabet);
  return v;
}

std::vector<uint8_t> TextBytes(size_t n) {
  static const char* const kWords[] = {"the ",   "installer ", "writes ", "files ",    "into ",  "a ",
                                       "folder ", "and ",      "logs ",   "every ",    "change ", "\n",
                                       "of ",     "registry ", "values ", "shortcut ", "0x2A ",  "    "};
  std::mt19937 rng(7);
  std::vector<uint8_t> v;
  while (v.size() < n) {
    const char* w = kWords[rng() % (sizeof kWords / sizeof kWords[0])];
    v.insert(v.end(), w, w + strlen(w));
  }
  v.resize(n);
  return v;
}

TEST(BlockEncoder, EmptyInputGivesAValidStreamThatDecodesToNothing) {
  std::vector<uint8_t> stream = EncodeStream(nullptr, 0);
  ASSERT_GE(stream.size(), 4u);
  EXPECT_EQ(std::string(stream.begin(), stream.begin() + 4), "ResJ");
  ExpectRoundTrip({}, 1);
}

TEST(BlockEncoder, ShortInputsAndRunsAroundTheCountByte) {
  ExpectRoundTrip({0x2A}, 1);
  ExpectRoundTrip({0});
  for (size_t run : {3, 4, 5, 8, 259, 260, 263, 264, 1000}) {
    SCOPED_TRACE(run);
    std::vector<uint8_t> alone(run, 'z');
    ExpectRoundTrip(alone, 1);
    // The filler is 0x2A: a run of it at the very end must not take the filler in.
    ExpectRoundTrip(std::vector<uint8_t>(run, 0x2A), 1);
    std::vector<uint8_t> inside = {'a', 'b'};
    inside.insert(inside.end(), run, 'c');
    inside.insert(inside.end(), {'c' ^ 1, 'd'});
    ExpectRoundTrip(inside, 1);
  }
}

TEST(BlockEncoder, BlocksAtTheFirstDerandomisedPosition) {
  // 8000 input bytes make a final block of 8001 with the filler: position 8000 is its last and
  // stays; 8001 bytes make 8002 and position 8000 is raised.
  for (size_t n : {7999, 8000, 8001, 8002, 15983, 15984, 15985}) {
    SCOPED_TRACE(n);
    ExpectRoundTrip(RunFreeBytes(n, static_cast<uint32_t>(n)), 1);
  }
}

TEST(BlockEncoder, RandomAndTextData) {
  ExpectRoundTrip(RandomBytes(100000, 1));
  ExpectRoundTrip(RandomBytes(300000, 2, 2));
  std::vector<uint8_t> text = TextBytes(500000);
  std::vector<uint8_t> stream = EncodeStream(text.data(), text.size());
  EXPECT_LT(stream.size(), text.size() / 4);
  ExpectRoundTrip(text, 1);
}

TEST(BlockEncoder, SeveralFullBlocksWithProgressPerBlock) {
  std::vector<uint8_t> input = TextBytes(1500000);
  std::vector<uint8_t> random = RandomBytes(1200000, 3);
  input.insert(input.end(), random.begin(), random.end());
  std::vector<size_t> reported;
  std::vector<uint8_t> stream = EncodeStream(input.data(), input.size(), [&](size_t n) { reported.push_back(n); });
  Decoded decoded = Decode(stream, input.size());
  ASSERT_TRUE(decoded.ok);
  EXPECT_TRUE(decoded.bytes == input);
  EXPECT_TRUE(decoded.consumedExactly);
  EXPECT_EQ(decoded.blockPositions.size(), 3u);
  ASSERT_EQ(reported.size(), 3u);
  EXPECT_TRUE(std::is_sorted(reported.begin(), reported.end()));
  EXPECT_EQ(reported.back(), input.size());
}

TEST(BlockEncoder, InputFillingTheLastBlockExactlyGetsAFillerBlock) {
  std::vector<uint8_t> input = RunFreeBytes(BlockDecoder::kBlockCapacity, 4);
  ExpectRoundTrip(input, 2);
  input.pop_back();
  ExpectRoundTrip(input, 1);
}

TEST(BlockEncoder, LongRunsAndPeriodicBlocks) {
  // Runs code to the periodic block text "cccc\xff..."; patterns stay periodic as they are.
  ExpectRoundTrip(std::vector<uint8_t>(3000000, 'c'));
  std::vector<uint8_t> pattern;
  for (int i = 0; i < 600000; ++i) pattern.push_back("ab"[i % 2]);
  ExpectRoundTrip(pattern, 1);
  std::vector<uint8_t> three(2000000);
  for (size_t i = 0; i < three.size(); ++i) three[i] = "xyz"[i % 3];
  ExpectRoundTrip(three, 3);
}

TEST(BlockEncoder, OutputIsDeterministic) {
  std::vector<uint8_t> input = TextBytes(2000000);
  EXPECT_TRUE(EncodeStream(input.data(), input.size()) == EncodeStream(input.data(), input.size()));
}

TEST(BlockSorter, MatchesSortedRotationsIncludingPeriodicTexts) {
  std::vector<std::string> texts = {"a", "ab", "ba", "aa", "abab", "baba", "aaaa", "abcabcabc", "banana", "abaab"};
  std::mt19937 rng(5);
  // Small alphabets, and powers u^m of all kinds, whose equal rotations take another path.
  for (int i = 0; i < 2000; ++i) {
    std::string u(1 + rng() % 12, 'a');
    for (char& c : u) c = static_cast<char>('a' + rng() % (1 + i % 3));
    std::string s;
    for (uint32_t m = 1 + (i % 2 ? rng() % 5 : 0); m > 0; --m) s += u;
    texts.push_back(s);
  }
  BlockSorter sorter;
  for (const std::string& t : texts) {
    SCOPED_TRACE(t);
    std::vector<uint8_t> s(t.begin(), t.end());
    size_t n = s.size();
    std::vector<uint32_t> rows = codec_test::SortedRotations(s);
    std::vector<uint8_t> expected(n);
    for (size_t i = 0; i < n; ++i) expected[i] = s[(rows[i] + n - 1) % n];
    std::vector<uint8_t> actual(n);
    uint32_t origin = sorter.Transform(s.data(), static_cast<uint32_t>(n), actual.data());
    EXPECT_TRUE(actual == expected);
    // Equal rotations may stand in any order; the origin must be a row that holds the text.
    ASSERT_LT(origin, n);
    std::vector<uint8_t> atOrigin(n);
    for (size_t k = 0; k < n; ++k) atOrigin[k] = s[(rows[origin] + k) % n];
    EXPECT_TRUE(atOrigin == s);
  }
}

}  // namespace
