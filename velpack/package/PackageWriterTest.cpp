#include "PackageWriter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <tuple>

#include "Crc32.h"
#include "PackageReader.h"
#include "PackageTestSupport.h"

namespace {

struct Input {
  std::string name;
  Bytes content;
  Storage storage;
};

// Writes the inputs behind a small stub and returns the installer's bytes.
Bytes Build(const ScratchFolder& folder, const std::vector<Input>& inputs, const std::string& name = "out.exe") {
  ScratchFolder::Write(folder.File("stub"), BytesOf("MZ-stub"));
  PackageWriter writer;
  std::string error;
  for (const Input& input : inputs) EXPECT_TRUE(writer.Add(input.name, input.content, input.storage, &error)) << error;
  EXPECT_TRUE(writer.Write(folder.File("stub"), folder.File(name), &error)) << error;
  return ScratchFolder::Read(folder.File(name));
}

}  // namespace

TEST(PackageWriter, LaysOutDataCatalogAndTrailer) {
  ScratchFolder folder;
  Bytes compressible(5000, 'q');
  std::vector<Input> inputs = {{"check", BytesOf("123456789"), Storage::Stored},
                               {"0\\0", compressible, Storage::Compressed},
                               {"noise", RandomBytes(3000, 1), Storage::Best},
                               {"s1", BytesOf("first"), Storage::Solid},
                               {"text", compressible, Storage::Best},
                               {"s2", BytesOf(std::string("sec\0nd", 6)), Storage::Solid},
                               {"empty", {}, Storage::Compressed}};
  Bytes file = Build(folder, inputs);
  size_t trailer = file.size() - 16;
  size_t catalog = file.size() + int32_t(U32At(file, trailer + 8));
  EXPECT_EQ(Bytes(file.begin() + trailer + 12, file.end()), Bytes({6, 15, 0, 0}));
  EXPECT_EQ(file.size() % 8, 0u) << "ready for a signature";
  size_t padding = catalog - U32At(file, trailer + 4) - 7;
  EXPECT_LT(padding, 8u) << "the data area starts right behind the stub and its padding";
  EXPECT_EQ(Bytes(file.begin() + 7, file.begin() + 7 + std::ptrdiff_t(padding)), Bytes(padding, 0));
  EXPECT_EQ(U32At(file, catalog + 8), inputs.size() + 1);

  PackageReader reader(file.data(), uint32_t(file.size()));
  ASSERT_EQ(reader.EntryCount(), inputs.size() + 1);
  const uint32_t expectedFlags[] = {0, 5, 0, 8, 5, 8, 5, 5};
  const uint32_t solidOffsets[] = {0, 0, 0, 0, 0, 5, 0};
  uint32_t dataEnd = 0;
  for (uint32_t i = 0; i < reader.EntryCount(); ++i) {
    const CatalogEntry& entry = *reader.EntryAt(i);
    EXPECT_EQ(entry.flags, expectedFlags[i]) << i;
    if (entry.flags & kEntryInSolidBlock) {
      EXPECT_EQ(entry.offset, solidOffsets[i]);
      EXPECT_EQ(entry.packedSize, 0u);
    } else {
      EXPECT_EQ(entry.offset, dataEnd) << "entries follow each other in the order added";
      dataEnd += entry.packedSize;
    }
    if (i == inputs.size()) break;
    EXPECT_EQ(std::string(entry.name, entry.nameLength), inputs[i].name);
    EXPECT_EQ(Extracted(reader, inputs[i].name), std::string(inputs[i].content.begin(), inputs[i].content.end())) << inputs[i].name;
    EXPECT_EQ(entry.checksum, Crc32(inputs[i].content.data(), inputs[i].content.size()));
  }
  EXPECT_EQ(reader.EntryAt(0)->checksum, 0xCBF43926u);
  const CatalogEntry& solid = *reader.EntryAt(7);
  EXPECT_EQ(std::string(solid.name, solid.nameLength), std::string("~\0solid0", 8));
  EXPECT_EQ(Extracted(reader, "~"), std::string("firstsec\0nd", 11));
  EXPECT_EQ(dataEnd, U32At(file, trailer + 4)) << "the solid block ends where the catalog starts";

  Bytes plain = Build(folder, {{"a", BytesOf("a"), Storage::Stored}});
  EXPECT_EQ(PackageReader(plain.data(), uint32_t(plain.size())).FindEntry("~"), nullptr) << "no solid entries, no block";
}

TEST(PackageWriter, WritesTheSameBytesForTheSameInputs) {
  ScratchFolder folder;
  std::vector<Input> inputs;
  for (int i = 0; i < 12; ++i) {
    Bytes content = RandomBytes(size_t(1000 + 30000 * (i % 4)), unsigned(i));
    content.resize(content.size() * 2, uint8_t(i));
    inputs.push_back({"entry" + std::to_string(i), content, i % 3 == 0 ? Storage::Solid : Storage::Best});
  }
  inputs.push_back({"large", Bytes(2000000, 'z'), Storage::Compressed});
  Bytes first = Build(folder, inputs, "first.exe");
  Bytes second = Build(folder, inputs, "second.exe");
  EXPECT_EQ(first, second);
}

TEST(PackageWriter, RefusesNamesThatCannotBeRecorded) {
  PackageWriter writer;
  std::string error;
  EXPECT_TRUE(writer.Add(std::string(32767, 'n'), {}, Storage::Stored, &error));
  EXPECT_TRUE(writer.Add("a\\b", {}, Storage::Solid, &error));
  EXPECT_TRUE(writer.Has("a\\b"));
  EXPECT_FALSE(writer.Has("a"));
  for (const std::string& name : {std::string(), std::string(32768, 'n'), std::string("a\\b"), std::string("~"),
                                  std::string("x\0y", 3)}) {
    error.clear();
    EXPECT_FALSE(writer.Add(name, {}, Storage::Stored, &error)) << name.size();
    EXPECT_FALSE(error.empty());
  }
}

TEST(PackageWriter, LeavesTheTargetAloneWhenWritingFails) {
  ScratchFolder folder;
  std::string target = folder.File("target.exe");
  ScratchFolder::Write(target, BytesOf("previous"));
  ScratchFolder::Write(folder.File("stub"), BytesOf("MZ"));
  PackageWriter writer;
  std::string error;
  ASSERT_TRUE(writer.Add("a", BytesOf("content"), Storage::Compressed, &error));

  EXPECT_FALSE(writer.Write(folder.File("no-stub"), target, &error));
  EXPECT_NE(error.find("no-stub"), std::string::npos) << error;
  EXPECT_EQ(ScratchFolder::Read(target), BytesOf("previous"));
  // A target that cannot be replaced fails after the temporary file was written in full.
  std::filesystem::create_directory(folder.File("folder.exe"));
  EXPECT_FALSE(writer.Write(folder.File("stub"), folder.File("folder.exe"), &error));
  EXPECT_NE(error.find("folder.exe"), std::string::npos) << error;
  EXPECT_FALSE(writer.Write(folder.File("stub"), folder.File("missing/out.exe"), &error));

  std::vector<std::string> left;
  for (const auto& item : std::filesystem::directory_iterator(folder.File(""))) left.push_back(item.path().filename());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"folder.exe", "stub", "target.exe"}));
  EXPECT_TRUE(writer.Write(folder.File("stub"), target, &error)) << error;
  EXPECT_NE(ScratchFolder::Read(target), BytesOf("previous"));
}

TEST(PackageWriter, SmallFilesShareTheSolidBlockUpToItsBudget) {
  ScratchFolder folder;
  std::vector<Input> inputs = {{"small", BytesOf("tiny file"), Storage::File},
                               {"large", Bytes(64 * 1024 + 1, 'L'), Storage::File},
                               {"noise", RandomBytes(64 * 1024, 2), Storage::File}};
  // Files of the largest small size fill the budget, less what went in before them.
  const size_t kFiles = PackageWriter::kSolidFileBudget / PackageWriter::kSolidFileMax;
  static_assert(PackageWriter::kSolidFileMax == 64 * 1024, "the inputs' sizes");
  for (size_t i = 0; i < kFiles; ++i)
    inputs.push_back({"f" + std::to_string(i), Bytes(64 * 1024, uint8_t(i)), Storage::File});
  Bytes file = Build(folder, inputs);
  PackageReader reader(file.data(), uint32_t(file.size()));
  auto flags = [&](const char* name) { return reader.FindEntry(name)->flags; };
  EXPECT_EQ(flags("small"), kEntryInSolidBlock);
  EXPECT_EQ(flags("large"), kEntryCompressed | kEntryBlockCoded) << "over the size of a small file";
  EXPECT_EQ(flags("noise"), kEntryInSolidBlock);
  const std::string lastFitting = "f" + std::to_string(kFiles - 3);
  const std::string firstOver = "f" + std::to_string(kFiles - 2);
  EXPECT_EQ(flags(lastFitting.c_str()), kEntryInSolidBlock);
  EXPECT_EQ(flags(firstOver.c_str()), kEntryCompressed | kEntryBlockCoded) << "past the budget: compressed as usual";
  EXPECT_EQ(Extracted(reader, firstOver.c_str()), std::string(64 * 1024, char(uint8_t(kFiles - 2))));
  EXPECT_EQ(Extracted(reader, "small"), "tiny file");
}

TEST(PackageWriter, GroupedSolidEntriesFollowTheRestAlikeOnesTogether) {
  ScratchFolder folder;
  ScratchFolder::Write(folder.File("stub"), BytesOf("MZ-stub"));
  PackageWriter writer;
  std::string error;
  const std::vector<std::tuple<std::string, std::string, std::string>> inputs = {
      {"a.txt", "AAAA", "txt"}, {"record", "rr", ""}, {"b.dll", "BBB", "dll"}, {"c.txt", "CC", "txt"}, {"d", "D", ""}};
  for (const auto& [name, content, group] : inputs) ASSERT_TRUE(writer.Add(name, BytesOf(content), Storage::Solid, &error, group));
  ASSERT_TRUE(writer.Write(folder.File("stub"), folder.File("out.exe"), &error)) << error;
  Bytes file = ScratchFolder::Read(folder.File("out.exe"));
  PackageReader reader(file.data(), uint32_t(file.size()));
  EXPECT_EQ(Extracted(reader, "~"), "rrDBBBAAAACC");
  for (const auto& [name, content, group] : inputs) EXPECT_EQ(Extracted(reader, name.c_str()), content) << name;
  EXPECT_EQ(reader.FindEntry("a.txt")->offset, 6u);
  EXPECT_EQ(std::string(reader.EntryAt(1)->name, reader.EntryAt(1)->nameLength), "record") << "the catalog keeps the order added";
}
