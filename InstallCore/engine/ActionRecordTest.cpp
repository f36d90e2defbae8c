#include "ActionRecord.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Builds record bytes the way the packer lays them out.
class Bytes {
 public:
  Bytes& U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_.push_back(char(v >> (8 * i)));
    return *this;
  }
  Bytes& U64(uint64_t v) { return U32(uint32_t(v)).U32(uint32_t(v >> 32)); }
  Bytes& Str(const std::string& s) {
    bytes_ += s;
    bytes_.push_back(0);
    return *this;
  }
  Bytes& Raw(const std::string& s) {
    bytes_ += s;
    return *this;
  }
  const std::string& Get() const { return bytes_; }

 private:
  std::string bytes_;
};

ActionRecord Record(const std::string& bytes) {
  return ActionRecord(reinterpret_cast<const uint8_t*>(bytes.data()), uint32_t(bytes.size()));
}

std::string Str(const Text& text) { return std::string(text.Data(), text.Length()); }

TEST(ActionRecordTest, FileLayoutReadsTimesAttributesAndDestination) {
  std::string bytes = Bytes().U32(kActionPackageFile).U64(0x01D2000000000001ull).U64(0x01D2000000000002ull)
                          .U64(0x01D9ABCDEF012345ull).U32(0x21).Str("${ProductPath}\\a.txt").Get();
  uint32_t type = 99;
  FileAction action;
  ASSERT_TRUE(Record(bytes).ReadType(&type));
  EXPECT_EQ(type, 0u);
  ASSERT_TRUE(Record(bytes).ReadFile(&action));
  EXPECT_EQ(action.creationTime, 0x01D2000000000001ull);
  EXPECT_EQ(action.lastAccessTime, 0x01D2000000000002ull);
  EXPECT_EQ(action.lastWriteTime, 0x01D9ABCDEF012345ull);
  EXPECT_EQ(action.attributes, 0x21u);
  EXPECT_EQ(Str(action.destination), "${ProductPath}\\a.txt");

  // Every cut short of the terminating zero fails the record.
  for (size_t cut = 0; cut < bytes.size(); ++cut)
    EXPECT_FALSE(Record(bytes.substr(0, cut)).ReadFile(&action)) << cut;
  EXPECT_FALSE(Record("").ReadType(&type));
  EXPECT_FALSE(Record("\x01\x02\x03").ReadType(&type));
}

TEST(ActionRecordTest, RegistryDataMayHoldZerosAndMustFitTheRecord) {
  std::string data("a\0${X}\0\0", 8);
  std::string bytes = Bytes().U32(kActionRegistryValue).U32(7).U32(uint32_t(data.size())).U32(0x80000001u)
                          .Str("Software\\V\\@").Raw(data).Get();
  RegistryAction action;
  ASSERT_TRUE(Record(bytes).ReadRegistry(&action));
  EXPECT_EQ(action.valueType, 7u);
  EXPECT_EQ(action.root, 0x80000001u);
  EXPECT_EQ(Str(action.path), "Software\\V\\@");
  EXPECT_EQ(Str(action.data), data);
  EXPECT_FALSE(Record(bytes.substr(0, bytes.size() - 1)).ReadRegistry(&action));

  std::string huge = Bytes().U32(4).U32(4).U32(0xFFFFFFF0u).U32(0x80000002u).Str("K\\v").Raw("1234").Get();
  EXPECT_FALSE(Record(huge).ReadRegistry(&action));
  std::string empty = Bytes().U32(4).U32(3).U32(0).U32(0x80000002u).Str("K\\v").Get();
  ASSERT_TRUE(Record(empty).ReadRegistry(&action));
  EXPECT_TRUE(action.data.Empty());
}

TEST(ActionRecordTest, ShortcutAndServiceLayouts) {
  // The 16-bit fields sit in the low halves of 32-bit slots whose high halves are not read.
  ShortcutAction shortcut;
  std::string link = Bytes().U32(kActionShortcut).U32(0xABCDFFFEu).U32(0x12340641u).U32(0x77770003u).Get();
  for (const char* text : {"target", "args", "descr", "icon", "link.lnk", "work"}) link += text + std::string(1, 0);
  ASSERT_TRUE(Record(link).ReadShortcut(&shortcut));
  EXPECT_EQ(shortcut.iconIndex, -2);
  EXPECT_EQ(shortcut.hotKey, 0x0641);
  EXPECT_EQ(shortcut.showCommand, 3);
  EXPECT_EQ(Str(shortcut.target) + "|" + Str(shortcut.arguments) + "|" + Str(shortcut.description) + "|" +
                Str(shortcut.iconFile) + "|" + Str(shortcut.shortcutFile) + "|" + Str(shortcut.workingFolder),
            "target|args|descr|icon|link.lnk|work");
  EXPECT_FALSE(Record(link.substr(0, link.size() - 1)).ReadShortcut(&shortcut));

  ServiceAction service;
  std::string svc = Bytes().U32(kActionService).U32(3).Str("svc").Str("Service").Str("d").Str("C:\\s.exe").Get();
  ASSERT_TRUE(Record(svc).ReadService(&service));
  EXPECT_EQ(service.startType, 3u);
  EXPECT_EQ(Str(service.name) + "|" + Str(service.displayName) + "|" + Str(service.description) + "|" +
                Str(service.executable),
            "svc|Service|d|C:\\s.exe");
  EXPECT_FALSE(Record(Bytes().U32(10).U32(3).Str("svc").Str("S").Str("d").Raw("C:").Get()).ReadService(&service));
}

TEST(ActionRecordTest, TextListsNeedEveryTerminator) {
  Text texts[2];
  std::string two = Bytes().U32(kActionScript).Str("JScript").Str("var x = 1;").Get();
  ASSERT_TRUE(Record(two).ReadTexts(texts, 2));
  EXPECT_EQ(Str(texts[0]), "JScript");
  EXPECT_EQ(Str(texts[1]), "var x = 1;");
  EXPECT_FALSE(Record(Bytes().U32(kActionScript).Str("JScript").Raw("var x").Get()).ReadTexts(texts, 2));
  EXPECT_FALSE(Record(Bytes().U32(kActionCopyFolder).Get()).ReadTexts(texts, 1));
  ASSERT_TRUE(Record(Bytes().U32(kActionCopyFolder).Str("").Get()).ReadTexts(texts, 1));
  EXPECT_TRUE(texts[0].Empty());
}

}  // namespace
