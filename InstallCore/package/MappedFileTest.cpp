#include "MappedFile.h"

#include <gtest/gtest.h>

#include "PackageTestSupport.h"

TEST(MappedFile, CreatesReplacesAndMapsBackWholeFiles) {
  ScratchFolder folder;
  std::string path = folder.File("log.txt");
  ScratchFolder::Write(path, std::vector<uint8_t>(100000, 'x'));
  MappedFile file;
  ASSERT_TRUE(file.Create(path.c_str(), 5000));
  for (uint32_t i = 0; i < 5000; ++i) file.View()[i] = uint8_t(i * 7);
  file.Close();
  EXPECT_FALSE(file.IsOpen());
  ASSERT_TRUE(file.Open(path.c_str()));
  ASSERT_EQ(file.Size(), 5000u);
  EXPECT_EQ(file.View()[4999], uint8_t(4999 * 7));

  // A failing open closes what was open; empty files cannot be mapped.
  ScratchFolder::Write(folder.File("empty"), {});
  EXPECT_FALSE(file.Open(folder.File("missing").c_str()));
  EXPECT_FALSE(file.IsOpen());
  EXPECT_FALSE(file.Open(folder.File("empty").c_str()));
  EXPECT_FALSE(file.Create(folder.File("zero").c_str(), 0));
  EXPECT_FALSE(file.Create(folder.File("no/folder").c_str(), 10));
  EXPECT_EQ(file.View(), nullptr);
}
