// Packages whose file data sits in long-range streams, one or more per component, read back
// through the installer's reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "Catalog.h"
#include "PackageFormat.h"
#include "PackageReader.h"
#include "PackageTestSupport.h"
#include "PackageWriter.h"

namespace {


// Code-like bytes full of near calls.
Bytes Program(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  Bytes bytes = BytesOf("MZ");
  while (bytes.size() < size) {
    bytes.push_back(0xE8);
    uint32_t target = random() % 4096;
    for (int i = 0; i < 4; ++i) bytes.push_back(uint8_t(target >> (8 * i)));
    bytes.push_back(uint8_t(random() % 8));
  }
  bytes.resize(size);
  return bytes;
}

size_t DataBase(const Bytes& image) {
  size_t catalogStart = image.size() + int32_t(U32At(image, image.size() - 8));
  return catalogStart - U32At(image, image.size() - 12);
}

struct File {
  std::string name;
  Bytes content;
  std::string group;
};

class ProgressReader : public PackageReader {
 public:
  using PackageReader::PackageReader;
  void OnProgress(const Text& item, int percent) override {
    if (std::string(item.Data(), item.Length()) == watched) percents.push_back(percent);
  }
  std::string watched;
  std::vector<int> percents;
};

class LongStreamPackage : public ::testing::Test {
 protected:
  // Component 0: three files, one of them code-like; component 1: a copy of one of them, which
  // still gets a stream of its own.
  void SetUp() override {
    files_ = {{"0\\0.f", RandomBytes(100000, 1), "bin"},
              {"0\\1.f", Program(300000, 2), "dll"},
              {"0\\2.f", BytesOf("small text"), "txt"},
              {"1\\0.f", RandomBytes(100000, 1), "bin"}};
  }

  Bytes Build(uint64_t addressLimit = 0, std::string* error = nullptr) {
    ScratchFolder::Write(folder_.File("stub"), BytesOf("MZ-stub"));
    PackageWriter writer;
    writer.UseLongStreams(addressLimit);
    if (unicode_) writer.UseUnicode();
    std::string problem;
    EXPECT_TRUE(writer.Add("ProductName", BytesOf("P"), Storage::Solid, &problem));
    for (const File& file : files_) EXPECT_TRUE(writer.Add(file.name, file.content, Storage::File, &problem, file.group));
    bool written = writer.Write(folder_.File("stub"), folder_.File("out.exe"), &problem);
    if (error) *error = problem;
    if (!written) return {};
    return ScratchFolder::Read(folder_.File("out.exe"));
  }

  static const CatalogEntry* Stream(PackageReader& reader, const char* name) {
    const CatalogEntry* slice = reader.FindEntry(name);
    return slice ? reader.EntryAt(slice->reserved) : nullptr;
  }

  ScratchFolder folder_;
  std::vector<File> files_;
  bool unicode_ = false;
};

TEST_F(LongStreamPackage, FilesReadBackInAnyOrderFromOneStreamPerComponent) {
  Bytes image = Build();
  ASSERT_FALSE(image.empty());
  PackageReader reader(image.data(), uint32_t(image.size()));
  ASSERT_TRUE(reader.IsOpen());
  // Last file first, then back to the first component, then to the file and to memory.
  for (int pass = 0; pass < 2; ++pass) {
    for (auto it = files_.rbegin(); it != files_.rend(); ++it) {
      EXPECT_EQ(Extracted(reader, it->name), std::string(it->content.begin(), it->content.end())) << it->name;
    }
  }
  std::string path = folder_.File("program.dll");
  uint32_t size = 0;
  ASSERT_TRUE(reader.ExtractToFile("0\\1.f", path.c_str(), &size));
  EXPECT_EQ(ScratchFolder::Read(path), files_[1].content);
  EXPECT_EQ(size, files_[1].content.size());

  for (const File& file : files_) EXPECT_EQ(reader.FindEntry(file.name.c_str())->flags, uint32_t(kEntryInLongStream));
  EXPECT_EQ(reader.FindEntry("ProductName")->flags, uint32_t(kEntryInSolidBlock)) << "texts stay in the solid block";
  const CatalogEntry* first = Stream(reader, "0\\0.f");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first, Stream(reader, "0\\2.f"));
  EXPECT_NE(first, Stream(reader, "1\\0.f"));
  EXPECT_EQ(first->flags, uint32_t(kEntryCompressed | kEntryLzmaCoded));
  EXPECT_EQ(first->size, 400010u);
  // Ordered by group: bin, dll, txt.
  EXPECT_EQ(reader.FindEntry("0\\0.f")->offset, 0u);
  EXPECT_EQ(reader.FindEntry("0\\1.f")->offset, 100000u);
  EXPECT_EQ(reader.FindEntry("0\\2.f")->offset, 400000u);
}

TEST_F(LongStreamPackage, InstallersThatCannotReadTheStreamsRefuseThePackage) {
  Bytes image = Build();
  ASSERT_FALSE(image.empty());
  uint8_t& flags = image[image.size() - 3];
  EXPECT_EQ(flags, PackageFormat::kFlagsWrittenLong);
  EXPECT_EQ(flags & PackageFormat::kFlagRequired, 0) << "the bit every earlier installer insists on";
  // What an installer that does not know the long-stream bit sees: no bit it accepts.
  flags &= uint8_t(~PackageFormat::kFlagLongStreams);
  PackageReader earlier(image.data(), uint32_t(image.size()));
  EXPECT_FALSE(earlier.IsOpen());
  EXPECT_EQ(earlier.EntryCount(), 0u);
  // With the required bit but without the long-stream one, the streams are an unknown method.
  flags |= PackageFormat::kFlagRequired;
  PackageReader plain(image.data(), uint32_t(image.size()));
  ASSERT_TRUE(plain.IsOpen());
  EXPECT_EQ(Extracted(plain, "0\\0.f"), "<null>");
  EXPECT_EQ(Extracted(plain, "ProductName"), "P");
}

TEST_F(LongStreamPackage, AUnicodePackageIsReadOnlyByInstallersThatKnowIt) {
  unicode_ = true;
  Bytes image = Build();
  ASSERT_FALSE(image.empty());
  uint8_t& flags = image[image.size() - 3];
  EXPECT_EQ(flags, PackageFormat::kFlagsWrittenUnicode);
  // Every earlier installer insists on one of these two, and so refuses it.
  EXPECT_EQ(flags & (PackageFormat::kFlagRequired | PackageFormat::kFlagLongStreams), 0);
  PackageReader reader(image.data(), uint32_t(image.size()));
  ASSERT_TRUE(reader.IsOpen());
  EXPECT_TRUE(reader.IsUnicode());
  EXPECT_EQ(Extracted(reader, "0\\2.f"), "small text") << "the Unicode bit stands for the long-stream one";
  flags &= uint8_t(~PackageFormat::kFlagUnicode);
  PackageReader earlier(image.data(), uint32_t(image.size()));
  EXPECT_FALSE(earlier.IsOpen());
}

TEST_F(LongStreamPackage, ADamagedStreamFailsItsOwnComponentOnly) {
  Bytes image = Build();
  ASSERT_FALSE(image.empty());
  const CatalogEntry* second;
  size_t at;
  {
    PackageReader reader(image.data(), uint32_t(image.size()));
    second = Stream(reader, "1\\0.f");
    ASSERT_NE(second, nullptr);
    at = DataBase(image) + second->offset + second->packedSize / 2;
  }
  image[at] ^= 0x10;
  PackageReader reader(image.data(), uint32_t(image.size()));
  EXPECT_EQ(Extracted(reader, "1\\0.f"), "<null>");
  EXPECT_FALSE(reader.DamagedEntry().Empty());
  for (size_t i = 0; i < 3; ++i)
    EXPECT_EQ(Extracted(reader, files_[i].name), std::string(files_[i].content.begin(), files_[i].content.end()));
}

TEST_F(LongStreamPackage, SlicesOutsideTheirStreamOrPointingElsewhereAreDamaged) {
  Bytes image = Build();
  ASSERT_FALSE(image.empty());
  PackageReader reader(image.data(), uint32_t(image.size()));
  auto* slice = const_cast<CatalogEntry*>(reader.FindEntry("0\\2.f"));
  ASSERT_NE(slice, nullptr);
  const CatalogEntry saved = *slice;
  slice->offset = 400001;  // one byte past the stream's end
  EXPECT_EQ(Extracted(reader, "0\\2.f"), "<null>");
  *slice = saved;
  slice->reserved = 0;  // the record at 0 is no stream
  EXPECT_EQ(Extracted(reader, "0\\2.f"), "<null>");
  slice->reserved = 0xFFFFFFFFu;
  EXPECT_EQ(Extracted(reader, "0\\2.f"), "<null>");
  *slice = saved;
  EXPECT_EQ(Extracted(reader, "0\\2.f"), "small text");
}

TEST_F(LongStreamPackage, ExtractionToAFileReportsRisingProgressUpToTheEnd) {
  files_ = {{"0\\0.f", RandomBytes(3u << 20, 5), "bin"}};
  Bytes image = Build();
  ASSERT_FALSE(image.empty());
  ProgressReader reader(image.data(), uint32_t(image.size()));
  // Decoded ahead on a thread, the stream may be whole before the first report.
  reader.DecodeAhead(false);
  std::string path = folder_.File("big.bin");
  reader.watched = path;
  ASSERT_TRUE(reader.ExtractToFile("0\\0.f", path.c_str(), nullptr));
  ASSERT_GE(reader.percents.size(), 3u);
  EXPECT_EQ(reader.percents.front(), 0);
  EXPECT_EQ(reader.percents.back(), 100);
  EXPECT_TRUE(std::is_sorted(reader.percents.begin(), reader.percents.end()));
}

TEST_F(LongStreamPackage, StreamsReadInTurnsResumeWhereTheyStoppedUntilAnotherComponentStarts) {
  files_ = {{"0\\0.f", RandomBytes(3u << 20, 6), "bin"},
            {"0\\1.f", BytesOf("x"), "txt"},
            {"1\\0.f", RandomBytes(1000, 7), "bin"},
            {"2\\0.f", BytesOf("third"), "bin"}};
  Bytes image = Build();
  ASSERT_FALSE(image.empty());
  ProgressReader reader(image.data(), uint32_t(image.size()));
  reader.DecodeAhead(false);
  // A component larger than one stream: its second file is read from another stream.
  auto* second = const_cast<CatalogEntry*>(reader.FindEntry("0\\1.f"));
  const CatalogEntry* other = reader.FindEntry("1\\0.f");
  ASSERT_NE(second, nullptr);
  ASSERT_NE(other, nullptr);
  *second = CatalogEntry{second->name, second->nameLength, other->offset, 0, other->size, other->checksum,
                         other->reserved, other->flags};
  std::string path = folder_.File("big.bin");
  reader.watched = path;
  auto decodeReports = [&] {
    reader.percents.clear();
    EXPECT_TRUE(reader.ExtractToFile("0\\0.f", path.c_str(), nullptr));
    EXPECT_EQ(ScratchFolder::Read(path), files_[0].content);
    return reader.percents.size() - 1;  // the last report is the copy's 100
  };
  EXPECT_GE(decodeReports(), 3u);
  for (int turn = 0; turn < 3; ++turn) {
    EXPECT_EQ(Extracted(reader, "0\\1.f"), std::string(files_[2].content.begin(), files_[2].content.end()));
    EXPECT_EQ(decodeReports(), 0u) << "turn " << turn;
  }
  // Another component's stream lets this component's streams go.
  EXPECT_EQ(Extracted(reader, "2\\0.f"), "third");
  EXPECT_GE(decodeReports(), 3u);
}

TEST_F(LongStreamPackage, ALargeComponentIsCutIntoTwoStreamsDecodedSideBySide) {
  // Files of a few MB each, in two groups, so that the cut falls between files of one group;
  // each repeats a random block of its own, which compresses quickly.
  files_.clear();
  for (unsigned i = 0; i < 7; ++i) {
    Bytes block = RandomBytes(65536, 10 + i);
    Bytes content;
    while (content.size() < (5u << 20) / 2 + i * 1000) content.insert(content.end(), block.begin(), block.end());
    content.resize((5u << 20) / 2 + i * 1000);
    files_.push_back({"0\\" + std::to_string(i) + ".f", content, i % 2 ? "dll" : "exe"});
  }
  files_.push_back({"1\\0.f", BytesOf("small component"), "txt"});
  Bytes image = Build();
  ASSERT_FALSE(image.empty());
  Bytes again = Build();
  EXPECT_TRUE(image == again) << "the cut depends on the files alone";

  std::vector<const CatalogEntry*> streams;
  uint64_t total = 0;
  {
    PackageReader reader(image.data(), uint32_t(image.size()));
    for (unsigned i = 0; i < 7; ++i) {
      const CatalogEntry* stream = Stream(reader, files_[i].name.c_str());
      ASSERT_NE(stream, nullptr);
      if (std::find(streams.begin(), streams.end(), stream) == streams.end()) streams.push_back(stream);
      total += files_[i].content.size();
    }
    ASSERT_EQ(streams.size(), 2u);
    // Cut at the file nearest the middle: neither stream holds more than half and one file.
    for (const CatalogEntry* stream : streams) EXPECT_LE(stream->size, total / 2 + (5u << 20) / 2 + 6000);
    EXPECT_NE(Stream(reader, "1\\0.f"), streams[0]);
    EXPECT_NE(Stream(reader, "1\\0.f"), streams[1]);
  }
  // Read in alternation between the streams, backwards, with both decoded ahead on threads and
  // with neither: the same bytes.
  for (bool ahead : {true, false}) {
    PackageReader reader(image.data(), uint32_t(image.size()));
    reader.DecodeAhead(ahead);
    for (int i = 6; i >= 0; --i)
      EXPECT_EQ(Extracted(reader, files_[i].name), std::string(files_[i].content.begin(), files_[i].content.end()))
          << files_[i].name << (ahead ? " ahead" : " in place");
    EXPECT_EQ(Extracted(reader, "1\\0.f"), "small component");
    // And back to the first component after the second let its streams go.
    EXPECT_EQ(Extracted(reader, files_[3].name), std::string(files_[3].content.begin(), files_[3].content.end()));
  }
}

TEST_F(LongStreamPackage, AStreamLargerThanThePackerWritesIsDamage) {
  Bytes image = Build();
  ASSERT_FALSE(image.empty());
  for (uint32_t size : {PackageFormat::kMaxLongStream + 1, 0xFFFFFFF0u}) {
    PackageReader reader(image.data(), uint32_t(image.size()));
    const_cast<CatalogEntry*>(Stream(reader, "0\\2.f"))->size = size;
    EXPECT_EQ(Extracted(reader, "0\\2.f"), "<null>") << size;
    EXPECT_EQ(std::string(reader.DamagedEntry().Data(), reader.DamagedEntry().Length()), "0\\2.f") << size;
    EXPECT_EQ(Extracted(reader, "1\\0.f"), std::string(files_[3].content.begin(), files_[3].content.end()));
  }
}

TEST_F(LongStreamPackage, WriterRefusesWhatThe32BitInstallerCouldNotHold) {
  std::string error;
  EXPECT_TRUE(Build(1000, &error).empty());
  EXPECT_NE(error.find("address space"), std::string::npos) << error;
  EXPECT_FALSE(Build(uint64_t(1) << 30, &error).empty()) << error;
}

}  // namespace
