#include "LzmaDecoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "LzmaEncoder.h"
#include "HostTestSupport.h"

namespace {

struct Outcome {
  bool ok;
  Bytes content;
};

// Decodes into a heap buffer of exactly size bytes (so ASan sees any write past it), asking
// for step more bytes each time.
Outcome Decode(const Bytes& stream, uint32_t size, uint32_t step) {
  std::unique_ptr<uint8_t[]> out(new uint8_t[size ? size : 1]);
  auto decoder = std::make_unique<LzmaDecoder>(stream.data(), uint32_t(stream.size()), out.get(), size);
  bool ok = !decoder->Failed();
  while (ok && decoder->Ready() < size) {
    uint32_t before = decoder->Ready();
    uint32_t target = size - before > step ? before + step : size;
    ok = decoder->DecodeUntil(target);
    // Every request is met exactly.
    if (ok && decoder->Ready() != target) return {false, {}};
  }
  return {ok, ok ? Bytes(out.get(), out.get() + size) : Bytes()};
}

Bytes Encode(const Bytes& content) { return EncodeLongStream(content.data(), content.size()); }

Bytes Text(size_t size) {
  static const char* const words[] = {"installer ", "component ", "file ", "registry ", "the ", "a ", "\r\n"};
  std::mt19937 random(7);
  Bytes out;
  while (out.size() < size) {
    const char* w = words[random() % 7];
    out.insert(out.end(), w, w + strlen(w));
  }
  out.resize(size);
  return out;
}

// Code-like bytes: calls and jumps with near and far displacements among other bytes.
Bytes Branchy(size_t size) {
  std::mt19937 random(11);
  Bytes out;
  while (out.size() < size) {
    uint32_t kind = random() % 4;
    out.push_back(kind == 0 ? 0xE8 : kind == 1 ? 0xE9 : uint8_t(random()));
    if (kind < 2) {
      int32_t displacement = int32_t(random() % 0x2000000) - 0x1000000;
      if (random() % 5 == 0) displacement = int32_t(random());
      for (int i = 0; i < 4; ++i) out.push_back(uint8_t(uint32_t(displacement) >> (8 * i)));
    }
  }
  out.resize(size);
  return out;
}

TEST(LzmaDecoder, RoundTripsTheLibraryEncoderInAnySteps) {
  Bytes repeated = RandomBytes(300000, 3);
  // The same noise again far behind: only a long window finds it.
  Bytes far = repeated;
  Bytes text = Text(200000);
  far.insert(far.end(), text.begin(), text.end());
  far.insert(far.end(), repeated.begin(), repeated.end());
  const std::vector<std::pair<const char*, Bytes>> contents = {
      {"empty", {}},          {"one byte", {42}},          {"zeros", Bytes(100000, 0)}, {"text", Text(150000)},
      {"noise", RandomBytes(70000, 1)}, {"far repeat", far}, {"branches", Branchy(120000)},
  };
  for (const auto& [name, content] : contents) {
    SCOPED_TRACE(name);
    Bytes stream = Encode(content);
    for (uint32_t step : {1u, 4096u, 1u << 30}) {
      if (step == 1 && content.size() > 20000) continue;
      Outcome decoded = Decode(stream, uint32_t(content.size()), step);
      EXPECT_TRUE(decoded.ok);
      EXPECT_TRUE(decoded.content == content);
    }
  }
}

TEST(LzmaDecoder, RefusesBadHeadersAndOverrunStreams) {
  Bytes content = Text(5000);
  Bytes stream = Encode(content);
  auto fails = [&](Bytes s, uint32_t size) { return !Decode(s, size, 1u << 30).ok; };
  Bytes bad = stream;
  bad[0] = 225;  // properties past pb 4
  EXPECT_TRUE(fails(bad, 5000));
  bad = stream;
  bad[0] = 4 + 9 * 1;  // lc 4 + lp 1
  EXPECT_TRUE(fails(bad, 5000));
  bad = stream;
  bad[1] = 1;  // the range coder's first byte
  EXPECT_TRUE(fails(bad, 5000));
  for (size_t length = 0; length < LzmaDecoder::kHeaderSize + 5; ++length)
    EXPECT_TRUE(fails(Bytes(stream.begin(), stream.begin() + length), 5000)) << length;
  // Asking for more content than was encoded runs the stream dry (or into a bad distance).
  EXPECT_TRUE(fails(stream, 6000));
  // Cut short by half, the input runs out long before the content is complete.
  EXPECT_TRUE(fails(Bytes(stream.begin(), stream.begin() + stream.size() / 2), 5000));
}

// Whatever bit of a small stream flips, decoding stays inside its buffers (ASan checks) and either
// fails or yields content of the expected size, which the reader then checks against the CRC.
TEST(LzmaDecoder, EveryBitFlipFailsOrYieldsBoundedContent) {
  for (bool code : {false, true}) {
    Bytes content = code ? Branchy(600) : Text(600);
    content.insert(content.end(), content.begin(), content.begin() + 300);
    Bytes stream = Encode(content);
    int refused = 0, changed = 0;
    for (size_t bit = 0; bit < stream.size() * 8; ++bit) {
      Bytes flipped = stream;
      flipped[bit / 8] ^= uint8_t(1 << (bit % 8));
      Outcome decoded = Decode(flipped, uint32_t(content.size()), bit % 2 ? 7 : 1u << 30);
      if (!decoded.ok)
        ++refused;
      else if (decoded.content != content)
        ++changed;
    }
    EXPECT_GT(refused, int(stream.size())) << changed << " flips changed the content";
  }
}

}  // namespace
