#include "ShellLinkReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class LinkBytes {
 public:
  explicit LinkBytes(uint32_t flags) {
    U32(0x4C);
    const uint8_t kClassId[16] = {0x01, 0x14, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
    bytes.insert(bytes.end(), kClassId, kClassId + 16);
    U32(flags);
    bytes.resize(0x4C);
  }
  void U16(uint32_t v) {
    bytes.push_back(uint8_t(v));
    bytes.push_back(uint8_t(v >> 8));
  }
  void U32(uint32_t v) {
    U16(v & 0xFFFF);
    U16(v >> 16);
  }
  void Narrow(const std::string& s) {
    bytes.insert(bytes.end(), s.begin(), s.end());
    bytes.push_back(0);
  }
  void CountedWide(const std::string& ascii) {
    U16(uint32_t(ascii.size()));
    for (char c : ascii) U16(uint8_t(c));
  }
  // A file-system item: type, pad, size, date, time, attributes, then the name.
  void FileItem(const std::string& name) {
    U16(uint32_t(2 + 12 + name.size() + 1));
    bytes.push_back(0x32);
    bytes.push_back(0);
    U32(0), U16(0), U16(0), U16(0);
    Narrow(name);
  }
  std::vector<uint8_t> bytes;
};

TEST(ShellLinkReader, TakesTheTargetFromTheLocationAndTheTextsInUnicode) {
  LinkBytes link(0x2 | 0x4 | 0x20 | 0x80);  // location, name, arguments, Unicode
  const std::string base = "C:\\Program Files\\App\\";
  const uint32_t header = 0x1C, volume = 0x11;
  link.U32(header + volume + uint32_t(base.size()) + 1 + 7 + 1);  // the location's size
  link.U32(header);
  link.U32(1);  // volume and local base path given
  link.U32(header);
  link.U32(header + volume);
  link.U32(0);
  link.U32(header + volume + uint32_t(base.size()) + 1);
  link.U32(volume), link.U32(3), link.U32(0x1234), link.U32(0x10);
  link.bytes.push_back(0);
  link.Narrow(base);
  link.Narrow("app.exe");
  link.CountedWide("Starts the app");
  link.CountedWide("--fast \"x y\"");
  ShellLink read;
  std::string error;
  ASSERT_TRUE(ReadShellLink(link.bytes, &read, &error)) << error;
  EXPECT_EQ(read.target, "C:\\Program Files\\App\\app.exe");
  EXPECT_EQ(read.description, "Starts the app");
  EXPECT_EQ(read.arguments, "--fast \"x y\"");
  EXPECT_EQ(read.workingFolder, "");
}

TEST(ShellLinkReader, FallsBackOnTheItemList) {
  LinkBytes link(0x1);
  LinkBytes list(0);
  list.bytes.clear();
  list.U16(0x14);  // the computer: its class id
  list.bytes.push_back(0x1F);
  list.bytes.resize(list.bytes.size() + 17);
  list.U16(2 + 1 + 4);
  list.bytes.push_back(0x2F);
  list.Narrow("C:\\");
  list.FileItem("Program Files");
  list.FileItem("caf\xE9.txt");
  list.U16(0);
  link.U16(uint32_t(list.bytes.size()));
  link.bytes.insert(link.bytes.end(), list.bytes.begin(), list.bytes.end());
  ShellLink read;
  std::string error;
  ASSERT_TRUE(ReadShellLink(link.bytes, &read, &error)) << error;
  EXPECT_EQ(read.target, "C:\\Program Files\\caf\xC3\xA9.txt");
}

TEST(ShellLinkReader, RefusesWhatIsCutShortOrNoLink) {
  std::vector<uint8_t> notLink(0x4C, 0);
  ShellLink read;
  std::string error;
  EXPECT_FALSE(ReadShellLink(notLink, &read, &error));
  EXPECT_EQ(error, "not a shell link");

  LinkBytes listPastEnd(0x1);
  listPastEnd.U16(200);
  EXPECT_FALSE(ReadShellLink(listPastEnd.bytes, &read, &error));
  EXPECT_EQ(error, "the item list runs past the end of the file");

  LinkBytes locationPastEnd(0x2);
  locationPastEnd.U32(1000);
  EXPECT_FALSE(ReadShellLink(locationPastEnd.bytes, &read, &error));

  LinkBytes textPastEnd(0x4 | 0x80);
  textPastEnd.U16(50);
  textPastEnd.U16('x');
  EXPECT_FALSE(ReadShellLink(textPastEnd.bytes, &read, &error));
  EXPECT_EQ(error, "a text runs past the end of the file");
}

}  // namespace
