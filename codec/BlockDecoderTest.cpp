#include "BlockDecoder.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "CodecTestSupport.h"
#include "BitReader.h"
#include "RangeDecoder.h"

namespace {

using codec_test::Craft;
using codec_test::CraftedBlock;
using codec_test::Decode;
using codec_test::Decoded;
using codec_test::FromText;
using codec_test::RunFreeBytes;
using codec_test::Word;

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

std::vector<uint8_t> WithFiller(std::vector<uint8_t> v) {
  v.push_back(0x2A);
  return v;
}

const CraftedBlock kEmptyFinal{-1, {kEndOfBlock}};

TEST(BlockDecoder, AcceptsEveryHeaderVariant) {
  const std::vector<uint8_t> text = Bytes("header variants");
  std::vector<std::string> headers;
  for (char c = '1'; c <= '9'; ++c) headers.push_back(std::string("BZ0") + c);
  for (char c = 'B'; c <= 'J'; ++c) headers.push_back(std::string("Res") + c);
  for (const std::string& header : headers) {
    SCOPED_TRACE(header);
    Decoded d = Decode(Craft({FromText(WithFiller(text), true)}, header.c_str()), 100);
    EXPECT_TRUE(d.ok);
    EXPECT_TRUE(d.bytes == text);
  }
}

TEST(BlockDecoder, RejectsOtherHeadersBeforeAnyOutput) {
  for (const char* header : {"BZ00", "BZ0:", "BZh9", "BZ1J", "ResA", "ResK", "resJ", "RESJ", "Res\0"}) {
    SCOPED_TRACE(header);
    Decoded d = Decode(Craft({FromText(WithFiller(Bytes("abc")), true)}, header), 100);
    EXPECT_FALSE(d.ok);
    EXPECT_TRUE(d.bytes.empty());
    EXPECT_TRUE(d.blockPositions.empty());
  }
  for (const std::string& shortStream : {std::string(), std::string("R"), std::string("Re"), std::string("Res")}) {
    Decoded d = Decode(Bytes(shortStream), 100);
    EXPECT_FALSE(d.ok);
  }
}

TEST(BlockDecoder, InitialCodeIsTheFirst26BitsAfterTheHeader) {
  const uint8_t stream[] = {'R', 'e', 's', 'J', 0x7F, 0xFF, 0xFE, 0x94};
  ByteSource source(stream, sizeof stream);
  BitReader bits(source);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(bits.Read(8), uint32_t(stream[i]));
  RangeDecoder coder(bits);
  coder.Start();
  EXPECT_EQ(coder.Code(), 0x1FFFFFAu);
  coder.Bits().Sync();
  EXPECT_EQ(source.Position(), 8u);
  EXPECT_FALSE(source.Exhausted());
  EXPECT_EQ(coder.Bits().Read(6), 0x94u & 0x3F);
  // Past the end every bit reads as 1.
  EXPECT_EQ(coder.Bits().Read(5), 0x1Fu);
  coder.Bits().Sync();
  EXPECT_TRUE(source.Exhausted());
}

TEST(BlockDecoder, EmptyFinalBlockOutputsNothingAndConsumesTheStreamExactly) {
  Decoded d = Decode(Craft({kEmptyFinal}), 10);
  EXPECT_TRUE(d.ok);
  EXPECT_TRUE(d.bytes.empty());
  EXPECT_TRUE(d.consumedExactly);
  // The progress callback runs once, after the header and the 26 bits of the initial code.
  ASSERT_EQ(d.blockPositions.size(), 1u);
  EXPECT_EQ(d.blockPositions[0], 8u);
  // A final block of the filler alone also outputs nothing.
  d = Decode(Craft({FromText({0x2A}, true)}), 10);
  EXPECT_TRUE(d.ok);
  EXPECT_TRUE(d.bytes.empty());
}

TEST(BlockDecoder, RunLengthExpansionAfterFourEqualBytes) {
  struct Case {
    std::string text;
    std::string output;
  };
  const Case cases[] = {
      {std::string("aaaa\0", 5), "aaaa"},
      {"aaa", "aaa"},
      {"aaaa\x03z", "aaaaaaaz"},
      // After a count byte the next equal byte counts from one again.
      {std::string("aaaa\0a", 6), "aaaaa"},
      {std::string("aaaa\0aaaa\x01", 10), "aaaaaaaaa"},
      {"xyaaaa\xff", "xy" + std::string(259, 'a')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output);
    Decoded d = Decode(Craft({FromText(WithFiller(Bytes(c.text)), true)}), 1000);
    EXPECT_TRUE(d.ok);
    EXPECT_EQ(std::string(d.bytes.begin(), d.bytes.end()), c.output);
    // The expansion restarts in every block: three bytes ending one block and one starting the
    // next are four plain bytes.
    d = Decode(Craft({FromText(Bytes(c.text + "bbb"), false), FromText(WithFiller(Bytes("b\x05")), true)}), 1000);
    EXPECT_TRUE(d.ok);
    EXPECT_EQ(std::string(d.bytes.begin(), d.bytes.end()), c.output + "bbbb\x05");
  }
}

TEST(BlockDecoder, DerandomisationLowersOnlyWalkPositionsBelowTheLast) {
  for (size_t n : {8000, 8001, 8002, 15983, 15984, 15985, 40001}) {
    SCOPED_TRACE(n);
    std::vector<uint8_t> text = RunFreeBytes(n, static_cast<uint32_t>(n));
    // Crafted without the packer's +1, the decoder's lowering shows in the output.
    Decoded d = Decode(Craft({FromText(text, false, false), kEmptyFinal}), n);
    ASSERT_TRUE(d.ok);
    ASSERT_EQ(d.bytes.size(), n);
    std::vector<size_t> lowered;
    for (size_t i = 0; i < n; ++i)
      if (d.bytes[i] != text[i]) {
        EXPECT_EQ(uint8_t(d.bytes[i] + 1), text[i]);
        lowered.push_back(i);
      }
    std::vector<size_t> expected;
    for (size_t p : {8000, 15983, 23983, 32051, 40000})
      if (p + 1 < n) expected.push_back(p);
    EXPECT_EQ(lowered, expected);
    d = Decode(Craft({FromText(text, false), kEmptyFinal}), n);
    EXPECT_TRUE(d.ok);
    EXPECT_TRUE(d.bytes == text);
  }
}

// Texts of every small length, of lengths around the reader's chunks, and periodic ones, whose
// rows form several cycles and are read the slow way; one stream mixes both kinds of block, so
// the two ways hand their buffers on correctly.
TEST(BlockDecoder, BlocksOfEveryShapeDecodeExactly) {
  std::vector<std::vector<uint8_t>> texts;
  for (uint32_t n = 1; n <= 70; ++n) texts.push_back(RunFreeBytes(n, n));
  for (uint32_t n : {4095u, 4096u, 4097u, 12289u}) texts.push_back(RunFreeBytes(n, n));
  for (const char* unit : {"ab", "abc", "xyzzy", "q"}) {
    for (uint32_t repeats : {1u, 2u, 3u, 64u, 65u, 1001u}) {
      std::string s;
      for (uint32_t i = 0; i < repeats; ++i) s += unit;
      // Runs of four would turn into count bytes; "q" stays at three.
      if (std::string(unit) == "q" && repeats > 3) continue;
      texts.push_back(Bytes(s));
    }
  }
  for (const std::vector<uint8_t>& text : texts) {
    SCOPED_TRACE(text.size());
    Decoded d = Decode(Craft({FromText(WithFiller(text), true)}), text.size());
    EXPECT_TRUE(d.ok);
    EXPECT_TRUE(d.bytes == text);
  }
  const std::vector<uint8_t> a = RunFreeBytes(9000, 4), periodic = Bytes("abcabcabcabc");
  std::vector<uint8_t> expected = a;
  expected.insert(expected.end(), periodic.begin(), periodic.end());
  expected.insert(expected.end(), a.begin(), a.end());
  expected.insert(expected.end(), periodic.begin(), periodic.end());
  Decoded d = Decode(Craft({FromText(a, false), FromText(periodic, false), FromText(a, false),
                            FromText(WithFiller(periodic), true)}),
                     expected.size());
  EXPECT_TRUE(d.ok);
  EXPECT_TRUE(d.bytes == expected);
}

TEST(BlockDecoder, OriginMustLieInsideTheBlock) {
  CraftedBlock block = FromText(WithFiller(Bytes("origin bounds")), true);
  const uint32_t length = 14;
  block.word = Word(length - 1, true);
  EXPECT_TRUE(Decode(Craft({block}), 100).ok);
  block.word = Word(length, true);
  EXPECT_FALSE(Decode(Craft({block}), 100).ok);
  block.word = Word(length, false);
  EXPECT_FALSE(Decode(Craft({block, kEmptyFinal}), 100).ok);
  block.word = INT32_MIN;
  EXPECT_FALSE(Decode(Craft({block}), 100).ok);
  block.word = 0;
  EXPECT_FALSE(Decode(Craft({block}), 100).ok);
  EXPECT_FALSE(Decode(Craft({{0, {kEndOfBlock}}, kEmptyFinal}), 100).ok);
}

TEST(BlockDecoder, BlockCapacityBoundsRunsAndPositions) {
  const uint32_t capacity = BlockDecoder::kBlockCapacity;
  auto runBlock = [](uint32_t run, std::vector<uint16_t> tail) {
    CraftedBlock block{Word(0, false), {}};
    MoveToFrontCoder::AppendRun(run, &block.symbols);
    block.symbols.insert(block.symbols.end(), tail.begin(), tail.end());
    block.symbols.push_back(kEndOfBlock);
    return block;
  };
  EXPECT_FALSE(Decode(Craft({runBlock(capacity + 1, {}), kEmptyFinal}), capacity).ok);
  EXPECT_FALSE(Decode(Craft({runBlock(capacity - 1, {1, kRunDigit1}), kEmptyFinal}), capacity).ok);
  EXPECT_FALSE(Decode(Craft({runBlock(capacity - 1, {1, 1}), kEmptyFinal}), capacity).ok);
  // Digits whose value would overflow 32 bits.
  CraftedBlock huge{Word(0, false), std::vector<uint16_t>(40, kRunDigit2)};
  huge.symbols.push_back(kEndOfBlock);
  EXPECT_FALSE(Decode(Craft({huge, kEmptyFinal}), capacity).ok);
  // A full block decodes; one more byte of either kind does not fit.
  const std::vector<uint8_t> text = RunFreeBytes(capacity, 11);
  CraftedBlock full = FromText(text, false);
  Decoded d = Decode(Craft({full, kEmptyFinal}), capacity);
  EXPECT_TRUE(d.ok);
  EXPECT_TRUE(d.bytes == text);
  for (uint16_t extra : {uint16_t(1), uint16_t(255), uint16_t(kRunDigit1)}) {
    CraftedBlock over = full;
    over.symbols.insert(over.symbols.end() - 1, extra);
    EXPECT_FALSE(Decode(Craft({over, kEmptyFinal}), capacity).ok);
  }
}

TEST(BlockDecoder, CountBytePastTheBlockEndFails) {
  EXPECT_FALSE(Decode(Craft({FromText(Bytes("xyzaaaa"), false), kEmptyFinal}), 100).ok);
  EXPECT_TRUE(Decode(Craft({FromText(Bytes("xyzaaa"), false), kEmptyFinal}), 100).ok);
}

TEST(BlockDecoder, SinkThatIsFullFailsTheStream) {
  const std::vector<uint8_t> text = RunFreeBytes(5000, 9);
  const std::vector<uint8_t> stream = Craft({FromText(text, false), FromText(WithFiller(Bytes("aaaa\x30")), true)});
  Decoded d = Decode(stream, text.size() + 52);
  EXPECT_TRUE(d.ok);
  EXPECT_EQ(d.bytes.size(), text.size() + 52);
  for (size_t capacity : {size_t(0), size_t(1), text.size() - 1, text.size(), text.size() + 51}) {
    SCOPED_TRACE(capacity);
    d = Decode(stream, capacity);
    EXPECT_FALSE(d.ok);
    EXPECT_LE(d.bytes.size(), capacity);
  }
}

TEST(BlockDecoder, ProgressBeforeEveryBlockAtTheBytesConsumed) {
  const std::vector<uint8_t> a = RunFreeBytes(3000, 1), b = RunFreeBytes(3000, 2);
  const std::vector<uint8_t> stream = Craft({FromText(a, false), FromText(b, false), FromText(WithFiller(a), true)});
  Decoded d = Decode(stream, 9000);
  ASSERT_TRUE(d.ok);
  EXPECT_TRUE(d.consumedExactly);
  ASSERT_EQ(d.blockPositions.size(), 3u);
  EXPECT_EQ(d.blockPositions[0], 8u);
  EXPECT_LT(d.blockPositions[0], d.blockPositions[1]);
  EXPECT_LT(d.blockPositions[1], d.blockPositions[2]);
  EXPECT_LT(d.blockPositions[2], stream.size());
}

TEST(BlockDecoder, StreamThatNeverEndsFailsOncePastItsBytes) {
  // Non-final blocks only: the decoder must not go on reading padding for ever.
  CraftedBlock empty{Word(0, false), {kEndOfBlock}};
  Decoded d = Decode(Craft({empty, empty, empty}), 100);
  EXPECT_FALSE(d.ok);
  EXPECT_FALSE(Decode(Craft({FromText(Bytes("more to come"), false)}), 100).ok);
}

// A small two-block stream with runs, damaged in every way: each attempt fails or yields some
// output, and never writes past a sink of the right size (ASan watches the buffer).
class DamagedStream : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<uint8_t> first = RunFreeBytes(150, 3);
    first.insert(first.end(), {'q', 'q', 'q', 'q', 200, 'r'});
    stream = Craft({FromText(first, false), FromText(WithFiller(Bytes("tail text 0000\x10.")), true)});
    expected = Decode(stream, 1000);
    ASSERT_TRUE(expected.ok);
  }
  std::vector<uint8_t> stream;
  Decoded expected;
};

TEST_F(DamagedStream, TruncatedAtEveryLength) {
  for (size_t n = 0; n < stream.size(); ++n) {
    std::vector<uint8_t> cut(stream.begin(), stream.begin() + n);
    Decoded d = Decode(cut, expected.bytes.size());
    if (n < 4) EXPECT_FALSE(d.ok);
  }
}

TEST_F(DamagedStream, EveryBitFlipped) {
  int failed = 0;
  for (size_t bit = 0; bit < stream.size() * 8; ++bit) {
    std::vector<uint8_t> damaged = stream;
    damaged[bit / 8] ^= static_cast<uint8_t>(0x80 >> (bit % 8));
    Decoded d = Decode(damaged, expected.bytes.size());
    if (!d.ok) ++failed;
    // Only 'J' turned into another of 'B'..'I' keeps the header valid.
    bool validHeader = bit / 8 == 3 && damaged[3] >= 'B' && damaged[3] <= 'I';
    if (bit < 32 && !validHeader) EXPECT_FALSE(d.ok);
  }
  EXPECT_GT(failed, 0);
}

}  // namespace
