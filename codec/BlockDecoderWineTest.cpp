// The decoder as the installer is built (32-bit, size-optimised), run under Wine.
#include <gtest/gtest.h>

#include "CodecTestSupport.h"
#include "BlockDecoder.h"

namespace {

using codec_test::Craft;
using codec_test::Decode;
using codec_test::Decoded;
using codec_test::FromText;
using codec_test::RunFreeBytes;

TEST(BlockDecoderOnWindows, DecodesBlocksWithRunsAndTheRandomisationWalk) {
  std::vector<uint8_t> first = RunFreeBytes(40001, 1);
  std::vector<uint8_t> second = RunFreeBytes(3000, 2);
  second.insert(second.end(), {'z', 'z', 'z', 'z', 0xFF, 'y', 0x2A});
  std::vector<uint8_t> expected = first;
  expected.insert(expected.end(), second.begin(), second.end() - 7);
  expected.insert(expected.end(), 259, 'z');
  expected.push_back('y');

  std::vector<uint8_t> stream = Craft({FromText(first, false), FromText(second, true)});
  Decoded d = Decode(stream, expected.size());
  ASSERT_TRUE(d.ok);
  EXPECT_TRUE(d.bytes == expected);
  EXPECT_TRUE(d.consumedExactly);
  EXPECT_EQ(d.blockPositions.size(), 2u);
}

TEST(BlockDecoderOnWindows, CorruptStreamsFailWithinTheirBuffers) {
  codec_test::CraftedBlock block = FromText(RunFreeBytes(500, 3), true);
  block.word = codec_test::Word(500, true);
  EXPECT_FALSE(Decode(Craft({block}), 1000).ok);
  std::vector<uint8_t> stream = Craft({FromText(RunFreeBytes(500, 4), true)});
  for (size_t bit = 32; bit < stream.size() * 8; bit += 7) {
    std::vector<uint8_t> damaged = stream;
    damaged[bit / 8] ^= static_cast<uint8_t>(0x80 >> (bit % 8));
    Decoded d = Decode(damaged, 499);
    EXPECT_LE(d.bytes.size(), 499u);
  }
}

}  // namespace
