#include "CertificateTable.h"

#include <gtest/gtest.h>

#include <vector>

#include "PackageReader.h"
#include "PackageTestSupport.h"
#include "SamplePackages.h"

namespace {
const uint32_t kPe = 0x80;

// A PE header with nothing but what the security directory needs, padded to size bytes.
Bytes Image(bool pe64, uint32_t size, uint32_t tableOffset, uint32_t tableSize, uint32_t directories = 16) {
  Bytes image(size, 0);
  image[0] = 'M';
  image[1] = 'Z';
  auto put = [&](size_t at, uint32_t value, int width) {
    for (int i = 0; i < width; ++i) image[at + i] = uint8_t(value >> (8 * i));
  };
  put(0x3C, kPe, 4);
  put(kPe, 0x00004550, 4);
  uint32_t optional = kPe + 24;
  uint32_t countField = optional + (pe64 ? 108 : 92);
  put(kPe + 20, countField + 4 + 16 * 8 - optional, 2);
  put(optional, pe64 ? 0x20B : 0x10B, 2);
  put(countField, directories, 4);
  put(countField + 4 + 4 * 8, tableOffset, 4);
  put(countField + 4 + 4 * 8 + 4, tableSize, 4);
  return image;
}

bool Found(const Bytes& image, uint32_t* start) { return FindCertificateTable(image.data(), uint32_t(image.size()), start); }
}  // namespace

TEST(CertificateTable, FoundOnlyWhenItEndsTheFile) {
  for (bool pe64 : {false, true}) {
    uint32_t start = 0;
    EXPECT_TRUE(Found(Image(pe64, 1024, 1000, 24), &start)) << pe64;
    EXPECT_EQ(start, 1000u);
    EXPECT_FALSE(Found(Image(pe64, 1024, 992, 24), &start)) << "ends before the file's end";
    EXPECT_FALSE(Found(Image(pe64, 1024, 1008, 24), &start)) << "ends beyond the file";
    EXPECT_FALSE(Found(Image(pe64, 1024, 0xFFFFFFF0u, 0x410), &start)) << "wraps around 32 bits";
    EXPECT_FALSE(Found(Image(pe64, 1024, 0, 0), &start)) << "unsigned";
    EXPECT_FALSE(Found(Image(pe64, 1024, 1020, 4), &start)) << "too small for a certificate record";
    EXPECT_FALSE(Found(Image(pe64, 1024, 1000, 24, 4), &start)) << "no security directory";
  }
  Bytes image = Image(false, 1024, 1000, 24);
  image[kPe + 24] = 0x07;
  uint32_t start;
  EXPECT_FALSE(Found(image, &start)) << "unknown optional header";
  image = Image(false, 1024, 1000, 24);
  image[kPe + 20] = 8;
  image[kPe + 21] = 0;
  EXPECT_FALSE(Found(image, &start)) << "directory beyond the optional header's size";
  image = Image(false, 1024, 1000, 24);
  image[0x3C] = 0xF8;
  image[0x3D] = 0x03;
  EXPECT_FALSE(Found(image, &start)) << "PE header beyond the file";
  // Every cut of the header is refused without reading past the bytes given.
  Bytes whole = Image(true, 1024, 1000, 24);
  for (uint32_t size = 0; size < kPe + 24 + 112 + 40; ++size)
    EXPECT_FALSE(FindCertificateTable(Bytes(whole.begin(), whole.begin() + size).data(), size, &start)) << size;
}

TEST(CertificateTable, TheReaderFindsThePackageBeforeIt) {
  Bytes sample(kSamplePackage, kSamplePackage + sizeof(kSamplePackage));
  size_t catalog = sample.size() + int32_t(U32At(sample, sample.size() - 8));
  size_t dataBase = catalog - U32At(sample, sample.size() - 12);
  const uint32_t kHeader = 512, kTable = 40;
  uint32_t table = uint32_t(kHeader + sample.size() - dataBase);
  for (bool pe64 : {false, true}) {
    Bytes image = Image(pe64, kHeader, table, kTable);
    image.insert(image.end(), sample.begin() + std::ptrdiff_t(dataBase), sample.end());
    image.resize(image.size() + kTable, 0x5A);
    PackageReader reader(image.data(), uint32_t(image.size()));
    ASSERT_TRUE(reader.IsOpen()) << pe64;
    EXPECT_EQ(Extracted(reader, "ProductName"), "Velmora Demo");
    EXPECT_EQ(Extracted(reader, "EULA").size(), 2810u);

    // The trailer at the file's end wins: the table is looked for only without one.
    Bytes appended = image;
    appended.insert(appended.end(), sample.end() - 16, sample.end());
    EXPECT_FALSE(PackageReader(appended.data(), uint32_t(appended.size())).IsOpen()) << "that trailer measures from its own end";
    Bytes cut(image.begin(), image.end() - 1);
    EXPECT_FALSE(PackageReader(cut.data(), uint32_t(cut.size())).IsOpen()) << "a table that no longer ends the file";
    Bytes unsigned_ = Image(pe64, kHeader, 0, 0);
    unsigned_.insert(unsigned_.end(), sample.begin() + std::ptrdiff_t(dataBase), sample.end());
    EXPECT_TRUE(PackageReader(unsigned_.data(), uint32_t(unsigned_.size())).IsOpen()) << "unsigned, as always";
  }
}
