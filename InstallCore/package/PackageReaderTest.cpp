#include "PackageReader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "SamplePackages.h"
#include "PackageTestSupport.h"

namespace {
const char kTwoBlocks[] = "0\\0.f";

Bytes Sample() { return Bytes(kSamplePackage, kSamplePackage + sizeof(kSamplePackage)); }

std::string TwoBlockContent() {
  std::string content;
  for (int i = 0; i < 350000; ++i) content += "abc";
  return content;
}

void SetU32At(Bytes& image, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) image[at + i] = uint8_t(value >> (8 * i));
}
size_t CatalogStart(const Bytes& image) { return image.size() + int32_t(U32At(image, image.size() - 8)); }
size_t DataBase(const Bytes& image) { return CatalogStart(image) - U32At(image, image.size() - 12); }

class RecordingReader : public PackageReader {
 public:
  using PackageReader::PackageReader;
  void OnProgress(const Text& item, int percent) override {
    calls.push_back({std::string(item.Data(), item.Length()), percent});
  }
  std::vector<std::pair<std::string, int>> calls;
};

}  // namespace

TEST(PackageReader, HandsOutEveryEntryInMemoryAndAsText) {
  Bytes image = Sample();
  PackageReader reader(image.data(), uint32_t(image.size()));
  ASSERT_TRUE(reader.IsOpen());
  EXPECT_EQ(reader.EntryCount(), sizeof(kSampleEntries) / sizeof(kSampleEntries[0]) + 2);
  for (const SampleEntry& entry : kSampleEntries) {
    std::string expected(entry.content, entry.size);
    EXPECT_EQ(Extracted(reader, entry.name), expected) << entry.name;
    Text text = reader.ReadEntryString(entry.name);
    EXPECT_EQ(std::string(text.Data(), text.Length()), expected) << entry.name;
  }
  EXPECT_EQ(Extracted(reader, kTwoBlocks), TwoBlockContent());
  uint8_t* content = reader.ExtractToMemory("flags", nullptr);
  ASSERT_NE(content, nullptr);
  MemFree(content);

  const CatalogEntry* solid = reader.FindEntry("~");
  ASSERT_NE(solid, nullptr);
  EXPECT_EQ(std::string(solid->name, solid->nameLength), std::string("~\0solid0", 8));
  EXPECT_EQ(reader.FindEntry("~ solid0"), nullptr);
  uint32_t size = 77;
  EXPECT_EQ(reader.ExtractToMemory("ProductName2", &size), nullptr);
  EXPECT_EQ(size, 77u);
  EXPECT_TRUE(reader.ReadEntryString("productname").Empty());
}

TEST(PackageReader, ExtractToFileWritesContentAndReportsProgress) {
  ScratchFolder folder;
  std::string path = folder.File("package.exe");
  ScratchFolder::Write(path, Sample());
  RecordingReader reader(path.c_str());
  ASSERT_TRUE(reader.IsOpen());
  struct Case {
    const char* name;
    std::vector<int> percents;  // 0 at each block's start, then the share consumed at the end
  } cases[] = {{kTwoBlocks, {0, -1, 100}}, {"EULA", {0, 100}}, {"data.bin", {100}}, {"0\\0", {100}},
               {"zero.txt", {}},           {"none", {}},         {"0\\descr", {}}};
  for (const Case& c : cases) {
    std::string out = folder.File("out.bin");
    ScratchFolder::Write(out, Bytes(20000, 'x'));
    reader.calls.clear();
    uint32_t size = 0;
    ASSERT_TRUE(reader.ExtractToFile(c.name, out.c_str(), &size)) << c.name;
    uint32_t expectedSize = uint32_t(Extracted(reader, c.name).size());
    EXPECT_EQ(size, expectedSize);
    Bytes written = ScratchFolder::Read(out);
    EXPECT_EQ(std::string(written.begin(), written.end()), Extracted(reader, c.name)) << c.name;
    ASSERT_EQ(reader.calls.size(), c.percents.size()) << c.name;
    for (size_t i = 0; i < c.percents.size(); ++i) {
      EXPECT_EQ(reader.calls[i].first, out);
      if (c.percents[i] >= 0) EXPECT_EQ(reader.calls[i].second, c.percents[i]) << c.name << " call " << i;
    }
  }
  // The second block starts part-way through the stream.
  reader.calls.clear();
  ASSERT_TRUE(reader.ExtractToFile(kTwoBlocks, folder.File("big").c_str(), nullptr));
  EXPECT_GT(reader.calls[1].second, 0);
  EXPECT_LT(reader.calls[1].second, 100);

  EXPECT_FALSE(reader.ExtractToFile("missing", folder.File("missing").c_str(), nullptr));
  EXPECT_FALSE(std::filesystem::exists(folder.File("missing")));
  EXPECT_FALSE(reader.ExtractToFile("EULA", folder.File("no/such/folder/x").c_str(), nullptr));
  EXPECT_FALSE(RecordingReader(folder.File("absent.exe").c_str()).IsOpen());
}

TEST(PackageReader, DecodesTheSolidBlockOnlyOnce) {
  Bytes image = Sample();
  PackageReader reader(image.data(), uint32_t(image.size()));
  ASSERT_EQ(Extracted(reader, "flags"), std::string("\1\0\0\0", 4));
  // Damage the solid block's stream: slices still come from the first decode.
  const CatalogEntry* solid = reader.FindEntry("~");
  image[DataBase(image) + solid->offset] ^= 0xFF;
  EXPECT_EQ(Extracted(reader, "0\\name"), "Main files");
  EXPECT_EQ(Extracted(reader, "0\\0").size(), 37u);

  // A reader meeting the damage first fails the slices only.
  PackageReader damaged(image.data(), uint32_t(image.size()));
  ASSERT_TRUE(damaged.IsOpen());
  EXPECT_EQ(Extracted(damaged, "0\\name"), "<null>");
  EXPECT_EQ(Extracted(damaged, "~"), "<null>");
  EXPECT_EQ(Extracted(damaged, "ProductName"), "Velmora Demo");
}

TEST(PackageReader, RefusesADamagedTrailerOrCatalog) {
  const Bytes sample = Sample();
  const size_t trailer = sample.size() - 16;
  const size_t catalog = CatalogStart(sample);
  std::vector<std::pair<const char*, Bytes>> damaged;
  auto add = [&](const char* what, auto change) {
    Bytes image = sample;
    change(image);
    damaged.push_back({what, image});
  };
  add("trailer magic", [&](Bytes& b) { b[trailer] ^= 1; });
  add("version 7", [&](Bytes& b) { b[trailer + 12] = 7; });
  add("flag bit 1 clear", [&](Bytes& b) { b[trailer + 13] = 1; });
  add("catalog magic", [&](Bytes& b) { b[catalog] = 'j'; });
  add("catalog stream header", [&](Bytes& b) { b[catalog + 12] = 'X'; });
  add("catalog offset 0", [&](Bytes& b) { SetU32At(b, trailer + 8, 0); });
  add("catalog offset positive", [&](Bytes& b) { SetU32At(b, trailer + 8, 100); });
  add("catalog before the file", [&](Bytes& b) { SetU32At(b, trailer + 8, uint32_t(-int32_t(b.size()) - 1)); });
  add("data before the file", [&](Bytes& b) { SetU32At(b, trailer + 4, uint32_t(catalog + 1)); });
  add("entry count above the records", [&](Bytes& b) { SetU32At(b, catalog + 8, U32At(b, catalog + 8) + 1); });
  add("entry count absurd", [&](Bytes& b) { SetU32At(b, catalog + 8, 0xFFFFFFFF); });
  add("unpacked size short", [&](Bytes& b) { SetU32At(b, catalog + 4, U32At(b, catalog + 4) - 1); });
  add("unpacked size long", [&](Bytes& b) { SetU32At(b, catalog + 4, U32At(b, catalog + 4) + 1); });
  add("unpacked size absurd", [&](Bytes& b) { SetU32At(b, catalog + 4, 0xFFFFFFF0); });
  add("last byte cut", [&](Bytes& b) { b.pop_back(); });
  add("stub and data cut", [&](Bytes& b) { b.erase(b.begin(), b.begin() + DataBase(sample) + 1); });
  add("shorter than a trailer", [&](Bytes& b) { b.resize(15); });
  for (const auto& [what, image] : damaged) {
    PackageReader reader(image.data(), uint32_t(image.size()));
    EXPECT_FALSE(reader.IsOpen()) << what;
    EXPECT_EQ(reader.EntryCount(), 0u) << what;
    EXPECT_EQ(reader.FindEntry("EULA"), nullptr) << what;
  }
  // The stub is not part of the package: cutting it leaves the package readable.
  Bytes noStub(sample.begin() + DataBase(sample), sample.end());
  PackageReader reader(noStub.data(), uint32_t(noStub.size()));
  EXPECT_EQ(Extracted(reader, "EULA").size(), 2810u);
  EXPECT_FALSE(PackageReader(nullptr, 0).IsOpen());

  PackageReader empty(kEmptyPackage, sizeof(kEmptyPackage));
  EXPECT_TRUE(empty.IsOpen());
  EXPECT_EQ(empty.EntryCount(), 0u);
}
