#include "BufferedFileWriter.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "HostTestSupport.h"

TEST(BufferedFileWriter, WritesAcrossBufferBoundariesAndReportsFailedWrites) {
  ScratchFolder folder;
  std::string path = folder.File("out.bin");
  Bytes expected;
  BufferedFileWriter writer;
  ASSERT_TRUE(writer.Open(path.c_str()));
  for (uint32_t n : {1u, 10239u, 10240u, 0u, 10241u, 25000u}) {
    Bytes chunk(n, uint8_t(n));
    ASSERT_TRUE(writer.Write(chunk.data(), n));
    expected.insert(expected.end(), chunk.begin(), chunk.end());
  }
  ASSERT_TRUE(writer.Close());
  EXPECT_EQ(ScratchFolder::Read(path), expected);

  // A device that is always full: the failure shows at the first flush and stays.
  ASSERT_TRUE(writer.Open("/dev/full"));
  EXPECT_FALSE(writer.Write(expected.data(), BufferedFileWriter::kBufferSize + 1));
  EXPECT_FALSE(writer.Write(expected.data(), 1));
  EXPECT_FALSE(writer.Close());
  EXPECT_FALSE(writer.Open(folder.File("missing/out.bin").c_str()));
}

TEST(BufferedFileWriter, StampSetsTheTimesAfterTheLastBytes) {
  ScratchFolder folder;
  std::string path = folder.File("stamped.bin");
  BufferedFileWriter writer;
  ASSERT_TRUE(writer.Open(path.c_str()));
  Bytes content(15000, 's');
  ASSERT_TRUE(writer.Write(content.data(), uint32_t(content.size())));
  // 2001-02-03 04:05:06 UTC and one second later, in 100 ns units since 1601; no creation time.
  const uint64_t kWritten = 126256467060000000ull;
  ASSERT_TRUE(writer.Stamp(FileStamp{0, kWritten + 10000000, kWritten, 1}));
  ASSERT_TRUE(writer.Close());
  struct stat info;
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mtime, 981173106);
  EXPECT_EQ(info.st_atime, 981173107);
  EXPECT_EQ(ScratchFolder::Read(path), content);
}
