#include "BufferedFileWriter.h"

#include <gtest/gtest.h>

#include "PackageTestSupport.h"

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
