// The reader against catalogs that velpack would never write.
#include <gtest/gtest.h>

#include <filesystem>

#include "BlockEncoder.h"
#include "Crc32.h"
#include "PackageReader.h"
#include "PackageTestSupport.h"

namespace {
struct Raw {
  std::string name;
  uint32_t offset, packedSize, size, flags;
  uint32_t checksum = 0;
};

Bytes Encode(const std::string& text) { return EncodeStream(reinterpret_cast<const uint8_t*>(text.data()), text.size()); }

// A package of the given data area and records, behind a two-byte stub.
Bytes Craft(const Bytes& data, const std::vector<Raw>& records, uint8_t packageFlags = 3) {
  Bytes stream;
  for (const Raw& r : records) {
    stream.push_back(uint8_t(r.name.size()));
    stream.push_back(uint8_t(r.name.size() >> 8));
    stream.insert(stream.end(), r.name.begin(), r.name.end());
    for (uint32_t field : {r.offset, r.packedSize, r.size, r.checksum, 0u, r.flags}) PutU32(stream, field);
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
  for (uint8_t b : {uint8_t(6), packageFlags, uint8_t(0), uint8_t(0)}) image.push_back(b);
  return image;
}

// "hello" stored, "fourteen bytes" compressed at at, and a solid block of "solid" at solidAt.
struct DataArea {
  DataArea() : data{'h', 'e', 'l', 'l', 'o'} {
    Bytes stream = Encode("fourteen bytes");
    at = uint32_t(data.size());
    packed = uint32_t(stream.size());
    data.insert(data.end(), stream.begin(), stream.end());
    Bytes solid = Encode("solid");
    solidAt = uint32_t(data.size());
    solidPacked = uint32_t(solid.size());
    data.insert(data.end(), solid.begin(), solid.end());
  }
  Bytes data;
  uint32_t at, packed, solidAt, solidPacked;
};

}  // namespace

TEST(CraftedPackage, FailsOnlyTheEntriesThatBreakTheirBounds) {
  const DataArea area;
  const Bytes& data = area.data;
  const uint32_t at = area.at, packed = area.packed, solidAt = area.solidAt, solidPacked = area.solidPacked;
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
      {std::string("~\0solid0", 8), solidAt, solidPacked, 5, 5},
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

namespace {
uint32_t CrcOf(const std::string& text) { return Crc32(reinterpret_cast<const uint8_t*>(text.data()), text.size()); }
}  // namespace

TEST(CraftedPackage, ChecksumsAreReadOnlyWhenThePackageSaysSo) {
  const DataArea area;
  const Bytes& data = area.data;
  const uint32_t at = area.at, packed = area.packed, solidAt = area.solidAt, solidPacked = area.solidPacked;
  const std::string solidName("~\0solid0", 8);
  std::vector<Raw> records = {
      {"stored", 0, 5, 5, 0, CrcOf("hello")},
      {"stored, wrong", 0, 5, 5, 0, CrcOf("hello") ^ 1},
      {"compressed", at, packed, 14, 5, CrcOf("fourteen bytes")},
      {"compressed, wrong", at, packed, 14, 5, CrcOf("fourteen bytes") ^ 0x80000000u},
      {"slice", 1, 0, 3, 8, CrcOf("oli")},
      {"slice, wrong", 1, 0, 3, 8, CrcOf("olid")},
      {"empty", 0, 0, 0, 0, 0},
      {solidName, solidAt, solidPacked, 5, 5, CrcOf("solid")},
  };
  Bytes unchecked = Craft(data, records);
  PackageReader plain(unchecked.data(), uint32_t(unchecked.size()));
  ASSERT_EQ(plain.EntryCount(), records.size());
  EXPECT_EQ(Extracted(plain, "stored, wrong"), "hello") << "without the package flag the checksum is not read";
  EXPECT_EQ(Extracted(plain, "slice, wrong"), "oli");
  EXPECT_EQ(Extracted(plain, "missing"), "<null>");
  EXPECT_TRUE(plain.DamagedEntry().Empty()) << "a package without checksums names no damaged entry";

  Bytes checked = Craft(data, records, 3 | 4);
  PackageReader reader(checked.data(), uint32_t(checked.size()));
  ASSERT_EQ(reader.EntryCount(), records.size());
  EXPECT_EQ(Extracted(reader, "stored"), "hello");
  EXPECT_EQ(Extracted(reader, "compressed"), "fourteen bytes");
  EXPECT_EQ(Extracted(reader, "slice"), "oli");
  EXPECT_EQ(Extracted(reader, "empty"), "");
  EXPECT_EQ(Extracted(reader, "missing"), "<null>");
  EXPECT_TRUE(reader.DamagedEntry().Empty()) << "a missing entry is no damage";

  EXPECT_EQ(Extracted(reader, "stored, wrong"), "<null>");
  EXPECT_TRUE(reader.ReadEntryString("slice, wrong").Empty());
  EXPECT_TRUE(reader.DamagedEntry().Equals("stored, wrong")) << "the first damaged entry is kept";

  ScratchFolder folder;
  PackageReader files(checked.data(), uint32_t(checked.size()));
  std::string good = folder.File("good");
  EXPECT_TRUE(files.ExtractToFile("compressed", good.c_str(), nullptr));
  Bytes written = ScratchFolder::Read(good);
  EXPECT_EQ(std::string(written.begin(), written.end()), "fourteen bytes");
  // A file whose bytes do not match is removed again, whether it came from a stream or a slice.
  std::string bad = folder.File("bad");
  EXPECT_FALSE(files.ExtractToFile("compressed, wrong", bad.c_str(), nullptr));
  EXPECT_FALSE(std::filesystem::exists(bad));
  EXPECT_TRUE(files.DamagedEntry().Equals(bad.c_str())) << "named by the file it was meant for";
  std::string badSlice = folder.File("bad slice");
  EXPECT_FALSE(files.ExtractToFile("slice, wrong", badSlice.c_str(), nullptr));
  EXPECT_FALSE(std::filesystem::exists(badSlice));

  // A destination that cannot be created is no damage.
  PackageReader unwritable(checked.data(), uint32_t(checked.size()));
  EXPECT_FALSE(unwritable.ExtractToFile("stored", folder.File("no/such/folder").c_str(), nullptr));
  EXPECT_TRUE(unwritable.DamagedEntry().Empty());

  // A solid block whose content does not match fails every slice, the good ones too.
  records.back().checksum ^= 4;
  Bytes badBlock = Craft(data, records, 3 | 4);
  PackageReader block(badBlock.data(), uint32_t(badBlock.size()));
  EXPECT_EQ(Extracted(block, "slice"), "<null>");
  EXPECT_TRUE(block.DamagedEntry().Equals("slice"));
  EXPECT_EQ(Extracted(block, "stored"), "hello");
}

TEST(CraftedPackage, BoundsAndStreamFaultsAreDamageWhenChecksumsAreOn) {
  Bytes stream = Encode("fourteen bytes");
  uint32_t packed = uint32_t(stream.size());
  for (const Raw& record : std::vector<Raw>{{"past the data area", 3, packed, 5, 0},
                                           {"unknown method", 0, packed, 14, 1},
                                           {"decodes shorter", 0, packed, 20, 5},
                                           {"slice without a block", 0, 0, 1, 8}}) {
    Bytes image = Craft(stream, {record}, 3 | 4);
    PackageReader reader(image.data(), uint32_t(image.size()));
    EXPECT_EQ(Extracted(reader, record.name), "<null>");
    EXPECT_TRUE(reader.DamagedEntry().Equals(record.name.c_str())) << record.name;
  }
}
