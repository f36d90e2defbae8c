// Writes the seed corpora of DecodeStreamFuzzer and LzmaDecoderFuzzer: small streams from the
// packer's encoders that between them reach every part of the decoders.
//   codec_fuzz_corpus BLOCK_FOLDER LONG_FOLDER
#include <stdio.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "BlockEncoder.h"
#include "LzmaEncoder.h"

namespace {
void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f || fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || fclose(f) != 0) {
    fprintf(stderr, "codec_fuzz_corpus: cannot write %s\n", path.c_str());
    exit(1);
  }
}

// A long-range stream behind the content's size, as LzmaDecoderFuzzer reads it.
void WriteLong(const std::string& folder, const std::string& name, const std::vector<uint8_t>& input) {
  std::vector<uint8_t> seed;
  for (int shift = 0; shift < 32; shift += 8) seed.push_back(uint8_t(input.size() >> shift));
  std::vector<uint8_t> stream = EncodeLongStream(input.data(), input.size());
  seed.insert(seed.end(), stream.begin(), stream.end());
  WriteFile(folder + "/" + name, seed);
}

// header replaces the encoder's "ResJ"; every accepted header decodes the same way.
void Write(const std::string& folder, const std::string& name, const std::vector<uint8_t>& input,
           const char* header = "ResJ") {
  std::vector<uint8_t> stream = EncodeStream(input.data(), input.size());
  std::copy(header, header + 4, stream.begin());
  WriteFile(folder + "/" + name, stream);
}

std::vector<uint8_t> Text(const std::string& s, size_t repeat = 1) {
  std::vector<uint8_t> v;
  for (size_t i = 0; i < repeat; ++i) v.insert(v.end(), s.begin(), s.end());
  return v;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: codec_fuzz_corpus BLOCK_FOLDER LONG_FOLDER\n");
    return 2;
  }
  const std::string out = argv[1];
  std::mt19937 rng(1);
  auto random = [&](size_t n, int alphabet) {
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = static_cast<uint8_t>(rng() % alphabet);
    return v;
  };

  Write(out, "empty", {});
  Write(out, "one-byte", {'x'});
  Write(out, "filler-byte", {0x2A});
  for (size_t run : {3, 4, 5, 259, 260, 1000, 70000})
    Write(out, "run-" + std::to_string(run), std::vector<uint8_t>(run, static_cast<uint8_t>(run)));
  Write(out, "runs-mixed", Text("aaaabbbbbccccccccd\0\0\0\0\0\0\0\0\0\0\0\0xyzzzz", 40));
  Write(out, "text-short", Text("The installer writes files into the destination folder.\n"));
  for (const char* header : {"BZ01", "BZ09", "ResB"})
    Write(out, std::string("header-") + header, Text("Product name and version ", 3), header);
  Write(out, "text-repeated", Text("Uninst.log: 3 C:\\Program Files\\Velmora\\app.exe\r\n", 200));
  Write(out, "binary-small", random(300, 256));
  Write(out, "binary-2k", random(2048, 256));
  Write(out, "alphabet-2", random(4000, 2));
  Write(out, "alphabet-16", random(5000, 16));
  // Blocks of 8001 and 8002 bytes with the filler: the first position of the walk.
  Write(out, "walk-edge-8000", random(8000, 200));
  Write(out, "walk-edge-8001", random(8001, 200));
  Write(out, "walk-16000", random(16000, 4));
  // Periodic text fills more than one block and still packs small.
  std::vector<uint8_t> periodic(2000000);
  for (size_t i = 0; i < periodic.size(); ++i) periodic[i] = "abc"[i % 3];
  Write(out, "blocks-3-periodic", periodic);
  std::vector<uint8_t> full(900000);
  for (size_t i = 0; i < full.size(); ++i) full[i] = static_cast<uint8_t>("wxyz"[i % 4] + (i / 4 % 2));
  Write(out, "block-exactly-full", full);
  std::vector<uint8_t> ramp;
  for (int i = 0; i < 256; ++i) ramp.insert(ramp.end(), static_cast<size_t>(1 + i % 7), static_cast<uint8_t>(i));
  Write(out, "every-byte-value", ramp);
  std::vector<uint8_t> sparse(30000, 0);
  for (size_t i = 0; i < sparse.size(); i += 97) sparse[i] = static_cast<uint8_t>(i);
  Write(out, "sparse", sparse);
  // A block that each chain of the reader writes in many chunks.
  Write(out, "chunks-300000", random(300000, 2));

  const std::string longOut = argv[2];
  WriteLong(longOut, "empty", {});
  WriteLong(longOut, "one-byte", {'x'});
  WriteLong(longOut, "text-repeated", Text("Uninst.log: 3 C:\\Program Files\\Velmora\\app.exe\r\n", 60));
  WriteLong(longOut, "binary-small", random(300, 256));
  WriteLong(longOut, "alphabet-4", random(3000, 4));
  WriteLong(longOut, "run-5000", std::vector<uint8_t>(5000, 7));
  // Matches of every kind: long ones, repeated distances, short repeats.
  std::vector<uint8_t> mixed = random(700, 256);
  for (int i = 0; i < 20; ++i) {
    mixed.insert(mixed.end(), mixed.begin() + 13 * i, mixed.begin() + 13 * i + 40 + i);
    mixed.push_back(static_cast<uint8_t>(i));
  }
  WriteLong(longOut, "matches-mixed", mixed);
  return 0;
}
