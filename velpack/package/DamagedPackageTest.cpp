// Every single-bit flip of a small installer, read back through the package reader: each entry
// comes out exactly as packed, or the package or that entry is refused as damaged.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "PackageTestSupport.h"
#include "PackageWriter.h"

namespace {
struct Input {
  std::string name;
  Bytes content;
  Storage storage;
};

std::vector<Input> Inputs() {
  std::mt19937 random(7);
  Bytes noise(1200);
  for (uint8_t& b : noise) b = uint8_t(random());
  std::string words;
  while (words.size() < 3000) words += "entry " + std::to_string(random() % 100000) + " of a package; ";
  std::string prose;
  while (prose.size() < 1500) prose += "solid text " + std::to_string(random() % 1000) + "\n";
  return {{"ProductName", Bytes{'B', 'i', 't', 's'}, Storage::Solid},
          {"0\\0", Bytes{0, 0, 0, 0, 'C', ':', '\\', 'x', 0}, Storage::Solid},
          {"0\\0.f", Bytes(prose.begin(), prose.end()), Storage::File},
          {"0\\1.f", Bytes(words.begin(), words.end()), Storage::Compressed},
          {"0\\2.f", noise, Storage::Best},
          {"empty", Bytes(), Storage::Stored}};
}

enum Outcome { kRefused, kIdentical, kEntryDamaged, kWrong };

// How the reader handles one image: kWrong when any entry comes out different, or is missing
// or unreadable without being named damaged.
Outcome Read(const Bytes& image, const std::vector<Input>& inputs, const ScratchFolder& folder, std::string* why) {
  PackageReader reader(image.data(), uint32_t(image.size()));
  if (!reader.IsOpen()) return kRefused;
  bool damaged = false;
  for (const Input& input : inputs) {
    std::string expected(input.content.begin(), input.content.end());
    std::string got = Extracted(reader, input.name);
    if (got == "<null>" && !reader.DamagedEntry().Empty()) {
      damaged = true;
    } else if (got != expected) {
      *why = input.name + " in memory: " + (got == "<null>" ? "unreadable, no damage named" : "other bytes");
      return kWrong;
    }
    // As a file too for the installed files' contents, each from another kind of storage.
    if (input.name.find(".f") == std::string::npos) continue;
    std::string path = folder.File("out");
    std::filesystem::remove(path);
    if (reader.ExtractToFile(input.name.c_str(), path.c_str(), nullptr)) {
      Bytes written = ScratchFolder::Read(path);
      if (written != input.content) {
        *why = input.name + " as a file: other bytes";
        return kWrong;
      }
    } else if (reader.DamagedEntry().Empty() || std::filesystem::exists(path)) {
      *why = input.name + " as a file: failed without damage named, or left a file";
      return kWrong;
    } else {
      damaged = true;
    }
  }
  return damaged ? kEntryDamaged : kIdentical;
}
}  // namespace

TEST(DamagedPackage, EverySingleBitFlipInstallsTheSameBytesOrIsRefused) {
  ScratchFolder folder;
  ScratchFolder::Write(folder.File("stub"), Bytes{'M', 'Z', '-', 's', 't', 'u', 'b'});
  std::vector<Input> inputs = Inputs();
  PackageWriter writer;
  std::string error;
  for (const Input& input : inputs) ASSERT_TRUE(writer.Add(input.name, input.content, input.storage, &error)) << error;
  ASSERT_TRUE(writer.Write(folder.File("stub"), folder.File("package.exe"), &error)) << error;
  const Bytes good = ScratchFolder::Read(folder.File("package.exe"));
  ASSERT_GT(good.size(), 1000u);
  ASSERT_LT(good.size(), 8000u) << "a few kilobytes: every bit is flipped";
  std::string why;
  ASSERT_EQ(Read(good, inputs, folder, &why), kIdentical) << why;

  size_t counts[4] = {};
  for (size_t bit = 0; bit < good.size() * 8; ++bit) {
    Bytes image = good;
    image[bit / 8] ^= uint8_t(1u << (bit % 8));
    Outcome outcome = Read(image, inputs, folder, &why);
    ++counts[outcome];
    EXPECT_NE(outcome, kWrong) << "bit " << bit % 8 << " of byte " << bit / 8 << ": " << why;
  }
  EXPECT_GE(counts[kIdentical], 7u * 8) << "the stub's bytes are not part of the package";
  std::printf("%zu bits: %zu refused as a package, %zu with a damaged entry, %zu identical\n", good.size() * 8,
              counts[kRefused], counts[kEntryDamaged], counts[kIdentical]);
}
