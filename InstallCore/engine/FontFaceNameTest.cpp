#include "FontFaceName.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct NameRecord {
  uint16_t platform, encoding, language, id;
  std::string text;  // as stored: UTF-16BE for Windows records
};

void Put16(std::vector<uint8_t>* bytes, uint32_t value) {
  bytes->push_back(uint8_t(value >> 8));
  bytes->push_back(uint8_t(value));
}

void Put32(std::vector<uint8_t>* bytes, uint32_t value) {
  Put16(bytes, value >> 16);
  Put16(bytes, value & 0xFFFF);
}

std::string Wide(const std::string& text) {
  std::string wide;
  for (char c : text) wide += std::string(1, '\0') + c;
  return wide;
}

// A font of one table, "name", after a "head" that the reader passes over.
std::vector<uint8_t> Font(const std::vector<NameRecord>& records) {
  std::vector<uint8_t> names;
  Put16(&names, 0);
  Put16(&names, uint32_t(records.size()));
  Put16(&names, 6 + 12 * uint32_t(records.size()));
  std::string strings;
  for (const NameRecord& r : records) {
    for (uint32_t value : {r.platform, r.encoding, r.language, r.id, uint16_t(r.text.size()), uint16_t(strings.size())})
      Put16(&names, value);
    strings += r.text;
  }
  names.insert(names.end(), strings.begin(), strings.end());
  std::vector<uint8_t> font;
  Put32(&font, 0x00010000);
  Put16(&font, 2);
  for (int i = 0; i < 3; ++i) Put16(&font, 0);
  for (const char* tag : {"head", "name"}) {
    font.insert(font.end(), tag, tag + 4);
    Put32(&font, 0);
    Put32(&font, 12 + 32);
    Put32(&font, tag[0] == 'h' ? 0 : uint32_t(names.size()));
  }
  font.insert(font.end(), names.begin(), names.end());
  return font;
}

std::string FaceOf(const std::vector<uint8_t>& font) {
  Text name = FontFaceName(font.data(), uint32_t(font.size()));
  return std::string(name.Data(), name.Length());
}

TEST(FontFaceNameTest, PrefersTheWindowsUsEnglishFullName) {
  EXPECT_EQ(FaceOf(Font({{1, 0, 0, 4, "Mac Name"},
                         {3, 1, 0x407, 4, Wide("Deutscher Name")},
                         {3, 1, 0x409, 1, Wide("Family only")},
                         {3, 1, 0x409, 4, Wide("Velmor Sans Bold")}})),
            "Velmor Sans Bold");
  EXPECT_EQ(FaceOf(Font({{1, 0, 0, 4, "Mac Name"}, {3, 1, 0x407, 4, Wide("Deutscher Name")}})), "Deutscher Name");
  EXPECT_EQ(FaceOf(Font({{1, 0, 0, 4, "Mac Name"}})), "Mac Name");
  EXPECT_EQ(FaceOf(Font({{3, 1, 0x409, 4, std::string("\x01\x00\x00\xe9", 4)}})), "?\xe9");
}

TEST(FontFaceNameTest, CollectionsNameTheirFirstFont) {
  std::vector<uint8_t> single = Font({{3, 1, 0x409, 4, Wide("First")}});
  std::vector<uint8_t> collection = {'t', 't', 'c', 'f', 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 16};
  // The table offsets in a collection count from the file's start.
  for (size_t i = 0; i < 2; ++i) {
    size_t at = 12 + i * 16 + 8;
    uint32_t offset = uint32_t(single[at]) << 24 | uint32_t(single[at + 1]) << 16 | single[at + 2] << 8 | single[at + 3];
    offset += 16;
    for (int b = 0; b < 4; ++b) single[at + b] = uint8_t(offset >> (24 - 8 * b));
  }
  collection.insert(collection.end(), single.begin(), single.end());
  EXPECT_EQ(FaceOf(collection), "First");
}

TEST(FontFaceNameTest, DamagedOrForeignBytesHaveNoName) {
  std::vector<uint8_t> font = Font({{3, 1, 0x409, 4, Wide("Velmor Sans")}});
  for (size_t cut = 0; cut < font.size(); ++cut)
    EXPECT_EQ(FaceOf(std::vector<uint8_t>(font.begin(), font.begin() + cut)), "") << cut;
  EXPECT_EQ(FaceOf(Font({{3, 1, 0x409, 1, Wide("Family only")}, {0, 3, 0, 4, Wide("Unicode platform")}})), "");
  std::vector<uint8_t> huge = font;
  huge[12 + 16 + 12 + 3] = 0xFF;  // the name table's length reaches past the end
  EXPECT_EQ(FaceOf(huge), "");
  EXPECT_EQ(FaceOf(std::vector<uint8_t>(64, 0xFF)), "");
}

}  // namespace
