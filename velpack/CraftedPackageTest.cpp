// The reader against catalogs that velpack would never write.
#include <gtest/gtest.h>

#include <filesystem>

#include "BlockEncoder.h"
#include "PackageReader.h"
#include "PackageTestSupport.h"

namespace {
struct Raw {
  std::string name;
  uint32_t offset, packedSize, size, flags;
};

Bytes Encode(const std::string& text) { return EncodeStream(reinterpret_cast<const uint8_t*>(text.data()), text.size()); }

// A package of the given data area and records, behind a two-byte stub.
Bytes Craft(const Bytes& data, const std::vector<Raw>& records) {
  Bytes stream;
  for (const Raw& r : records) {
    stream.push_back(uint8_t(r.name.size()));
    stream.push_back(uint8_t(r.name.size() >> 8));
    stream.insert(stream.end(), r.name.begin(), r.name.end());
    for (uint32_t field : {r.offset, r.packedSize, r.size, 0u, 0u, r.flags}) PutU32(stream, field);
  }
  Bytes image = {'M', 'Z'};
  image.insert(image.end(), data.begin(), data.end());
  Bytes catalog;
  PutU32(catalog, 0x30357869);
  PutU32(catalog, uint32_t(stream.size()));
  PutU32(catalog, uint32_t(records.size()));
  Bytes packed = EncodeStream(stream.data(), stream.size());
  catalog.insert(catalog.end(), packed.begin(), packed.end());
  image.insert(image.end(), catalog.begin(), catalog.end());
  PutU32(image, 0x56425273);
  PutU32(image, uint32_t(data.size()));
  PutU32(image, uint32_t(-int32_t(catalog.size() + 16)));
  for (uint8_t b : {6, 3, 0, 0}) image.push_back(b);
  return image;
}

}  // namespace

TEST(CraftedPackage, FailsOnlyTheEntriesThatBreakTheirBounds) {
  Bytes data = {'h', 'e', 'l', 'l', 'o'};
  Bytes stream = Encode("fourteen bytes");
  uint32_t at = uint32_t(data.size());
  data.insert(data.end(), stream.begin(), stream.end());
  Bytes solid = Encode("solid");
  uint32_t solidAt = uint32_t(data.size());
  data.insert(data.end(), solid.begin(), solid.end());
  uint32_t packed = uint32_t(stream.size());
  std::vector<Raw> records = {
      {"stored", 0, 5, 5, 0},
      {"stored, packed larger", 0, 5, 3, 0},
      {"compressed", at, packed, 14, 5},
      {"slice", 1, 0, 3, 8},
      {"past the data area", 3, uint32_t(data.size()), 5, 0},
      {"wrapping packed size", 1, 0xFFFFFFFF, 2, 0},
      {"offset beyond", 0x80000000, 0, 0, 0},
      {"stored, packed smaller", 0, 3, 5, 0},
      {"unknown method", at, packed, 14, 1},
      {"decodes longer", at, packed, 10, 5},
      {"decodes shorter", at, packed, 20, 5},
      {"empty with a bad stream", 0, 5, 0, 5},
      {"size without room for a terminator", at, packed, 0xFFFFFFFF, 5},
      {"slice beyond", 2, 0, 100, 8},
      {"wrapping slice", 0xFFFFFFFF, 0, 2, 8},
      {std::string("~\0solid0", 8), solidAt, uint32_t(solid.size()), 5, 5},
  };
  Bytes image = Craft(data, records);
  PackageReader reader(image.data(), uint32_t(image.size()));
  ASSERT_EQ(reader.EntryCount(), records.size());
  EXPECT_EQ(Extracted(reader, "stored"), "hello");
  EXPECT_EQ(Extracted(reader, "stored, packed larger"), "hel");
  EXPECT_EQ(Extracted(reader, "compressed"), "fourteen bytes");
  EXPECT_EQ(Extracted(reader, "slice"), "oli");

  ScratchFolder folder;
  for (size_t i = 4; i + 1 < records.size(); ++i) {
    const std::string& name = records[i].name;
    EXPECT_EQ(Extracted(reader, name), "<null>") << name;
    EXPECT_TRUE(reader.ReadEntryString(name.c_str()).Empty()) << name;
    std::string out = folder.File("out" + std::to_string(i));
    ScratchFolder::Write(out, {'o', 'l', 'd'});
    EXPECT_FALSE(reader.ExtractToFile(name.c_str(), out.c_str(), nullptr)) << name;
    // Bounds are checked before the destination is touched; a bad stream shows only while
    // writing, and then the incomplete file is removed.
    bool streamFault = name.find("decodes") == 0 || name.find(" bad stream") != std::string::npos ||
                       name.find("terminator") != std::string::npos;
    if (streamFault) {
      EXPECT_FALSE(std::filesystem::exists(out)) << name;
    } else {
      EXPECT_EQ(ScratchFolder::Read(out).size(), 3u) << name;
    }
  }
  EXPECT_TRUE(reader.ExtractToFile("compressed", folder.File("good").c_str(), nullptr));
  EXPECT_EQ(ScratchFolder::Read(folder.File("good")).size(), 14u);
}

TEST(CraftedPackage, RefusesSlicesWithoutAReadableSolidBlock) {
  Bytes block = Encode("abc");
  // A solid block that claims to be a slice of itself must not recurse.
  Bytes selfImage = Craft(block, {{"a", 0, 0, 1, 8}, {std::string("~\0solid0", 8), 0, 0, 3, 8}});
  PackageReader self(selfImage.data(), uint32_t(selfImage.size()));
  ASSERT_EQ(self.EntryCount(), 2u);
  EXPECT_EQ(Extracted(self, "a"), "<null>");
  EXPECT_EQ(Extracted(self, "~"), "<null>");

  Bytes noBlockImage = Craft(block, {{"a", 0, 0, 1, 8}});
  PackageReader noBlock(noBlockImage.data(), uint32_t(noBlockImage.size()));
  EXPECT_EQ(Extracted(noBlock, "a"), "<null>");

  // Any name of "~" and a zero byte is the solid block.
  Bytes otherImage = Craft(block, {{"a", 2, 0, 1, 8}, {std::string("~\0other", 7), 0, uint32_t(block.size()), 3, 5}});
  PackageReader other(otherImage.data(), uint32_t(otherImage.size()));
  EXPECT_EQ(Extracted(other, "a"), "c");
}
