// The Win32 halves of MappedFile and BufferedFileWriter, through the package reader, under Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "BufferedFileWriter.h"
#include "MappedFile.h"
#include "Memory.h"
#include "PackageReader.h"
#include "SamplePackages.h"

namespace {
using Bytes = std::vector<uint8_t>;

class TempFolder {
 public:
  TempFolder() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    path_ = std::string(temp) + "velmora-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(GetTickCount());
    CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~TempFolder() {
    for (const std::string& file : created_) DeleteFileA(file.c_str());
    RemoveDirectoryA(path_.c_str());
  }
  std::string File(const std::string& name) {
    created_.push_back(path_ + "\\" + name);
    return created_.back();
  }

 private:
  std::string path_;
  std::vector<std::string> created_;
};

void WriteFileBytes(const std::string& path, const Bytes& bytes) {
  MappedFile file;
  ASSERT_TRUE(file.Create(path.c_str(), uint32_t(bytes.size()))) << path;
  memcpy(file.View(), bytes.data(), bytes.size());
}

Bytes ReadFileBytes(const std::string& path) {
  MappedFile file;
  if (!file.Open(path.c_str())) return Bytes();
  return Bytes(file.View(), file.View() + file.Size());
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

class RecordingReader : public PackageReader {
 public:
  using PackageReader::PackageReader;
  void OnProgress(const Text& item, int percent) override { calls.push_back({item.CStr(), percent}); }
  std::vector<std::pair<std::string, int>> calls;
};

Bytes Sample() { return Bytes(kSamplePackage, kSamplePackage + sizeof(kSamplePackage)); }
}  // namespace

TEST(PackageReaderWine, ExtractsFromAMappedInstallerToMemoryAndFiles) {
  TempFolder folder;
  std::string installer = folder.File("setup.exe");
  WriteFileBytes(installer, Sample());
  RecordingReader reader(installer.c_str());
  ASSERT_TRUE(reader.IsOpen());
  EXPECT_EQ(reader.ReadEntryString("0\\0"), Text(kSampleEntries[2].content, kSampleEntries[2].size));
  // The installer stays mapped: others may read it, nobody may write it.
  EXPECT_EQ(ReadFileBytes(installer), Sample());
  HANDLE writer = CreateFileA(installer.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
  if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);

  std::string out = folder.File("app.dat");
  WriteFileBytes(out, Bytes(3000000, 'x'));
  uint32_t size = 0;
  ASSERT_TRUE(reader.ExtractToFile("0\\0.f", out.c_str(), &size));
  EXPECT_EQ(size, 1050000u);
  Bytes written = ReadFileBytes(out);
  ASSERT_EQ(written.size(), 1050000u);
  for (size_t i = 0; i < written.size(); ++i) ASSERT_EQ(written[i], "abc"[i % 3]) << i;
  ASSERT_EQ(reader.calls.size(), 3u);
  EXPECT_EQ(reader.calls[0], std::make_pair(out, 0));
  EXPECT_EQ(reader.calls[2], std::make_pair(out, 100));

  reader.calls.clear();
  ASSERT_TRUE(reader.ExtractToFile("zero.txt", out.c_str(), nullptr));
  EXPECT_TRUE(Exists(out));
  EXPECT_TRUE(ReadFileBytes(out).empty());
  EXPECT_TRUE(reader.calls.empty());
  ASSERT_TRUE(reader.ExtractToFile("0\\0", out.c_str(), nullptr));
  EXPECT_EQ(ReadFileBytes(out).size(), 37u);

  // A destination another program holds open without sharing cannot be replaced.
  HANDLE locked = CreateFileA(out.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(locked, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(reader.ExtractToFile("EULA", out.c_str(), nullptr));
  CloseHandle(locked);
  EXPECT_EQ(ReadFileBytes(out).size(), 37u);
  EXPECT_FALSE(reader.ExtractToFile("EULA", (folder.File("none") + "\\x.txt").c_str(), nullptr));
}

TEST(PackageReaderWine, RefusesDamagedOrMissingInstallers) {
  TempFolder folder;
  Bytes damaged = Sample();
  damaged[damaged.size() - 16] ^= 1;
  std::string path = folder.File("damaged.exe");
  WriteFileBytes(path, damaged);
  EXPECT_FALSE(PackageReader(path.c_str()).IsOpen());
  // Refused files are closed again: the damaged one can be replaced at once.
  WriteFileBytes(path, Sample());
  EXPECT_TRUE(PackageReader(path.c_str()).IsOpen());
  EXPECT_FALSE(PackageReader(folder.File("missing.exe").c_str()).IsOpen());
  std::string empty = folder.File("empty.exe");
  CloseHandle(CreateFileA(empty.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  EXPECT_FALSE(PackageReader(empty.c_str()).IsOpen());
  MappedFile file;
  EXPECT_FALSE(file.Create(empty.c_str(), 0));
}

TEST(PackageReaderWine, DiscardedOutputIsDeleted) {
  TempFolder folder;
  std::string path = folder.File("out.bin");
  BufferedFileWriter writer;
  ASSERT_TRUE(writer.Open(path.c_str()));
  Bytes block(BufferedFileWriter::kBufferSize * 3, 'b');
  ASSERT_TRUE(writer.Write(block.data(), uint32_t(block.size())));
  writer.Discard();
  EXPECT_FALSE(Exists(path));
}
