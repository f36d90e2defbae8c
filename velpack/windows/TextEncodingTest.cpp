#include <gtest/gtest.h>

#include <string>

#include "TextEncoding.h"

namespace {

std::string Convert(const std::string& utf8, bool expectOk = true) {
  std::string out, problem;
  bool ok = TextEncoding::Utf8ToWindows1252(utf8, &out, &problem);
  EXPECT_EQ(ok, expectOk) << utf8 << ": " << problem;
  return ok ? out : problem;
}

TEST(TextEncoding, MapsLatin1AndTheWindowsPunctuationBlock) {
  EXPECT_EQ(Convert("Plain ASCII ~"), "Plain ASCII ~");
  EXPECT_EQ(Convert("\xC2\xA0\xC3\xA9\xC3\xBF"), "\xA0\xE9\xFF");  // U+00A0, é, ÿ
  // Every defined byte from 0x80 to 0x9F comes from its Unicode character.
  const struct {
    const char* utf8;
    char byte;
  } block[] = {{"€", '\x80'}, {"‚", '\x82'}, {"ƒ", '\x83'}, {"„", '\x84'}, {"…", '\x85'}, {"†", '\x86'}, {"‡", '\x87'},
               {"ˆ", '\x88'}, {"‰", '\x89'}, {"Š", '\x8A'}, {"‹", '\x8B'}, {"Œ", '\x8C'}, {"Ž", '\x8E'}, {"‘", '\x91'},
               {"’", '\x92'}, {"“", '\x93'}, {"”", '\x94'}, {"•", '\x95'}, {"–", '\x96'}, {"—", '\x97'}, {"˜", '\x98'},
               {"™", '\x99'}, {"š", '\x9A'}, {"›", '\x9B'}, {"œ", '\x9C'}, {"ž", '\x9E'}, {"Ÿ", '\x9F'}};
  for (const auto& entry : block) EXPECT_EQ(Convert(entry.utf8), std::string(1, entry.byte)) << entry.utf8;
}

TEST(TextEncoding, RefusesWhatTheCodePageCannotHoldAndBrokenUtf8) {
  EXPECT_NE(Convert("a中", false).find("U+4E2D '中'"), std::string::npos);
  EXPECT_NE(Convert("\xF0\x9F\x98\x80", false).find("U+1F600"), std::string::npos);
  // C1 controls share their numbers with the punctuation block but are different characters.
  EXPECT_NE(Convert("\xC2\x80", false).find("U+0080"), std::string::npos);
  EXPECT_NE(Convert("\xC2\x81", false).find("U+0081"), std::string::npos);
  for (const char* broken : {"\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xE2\x82", "\x80", "\xF8\x88\x80\x80\x80"}) {
    EXPECT_NE(Convert(broken, false).find("malformed UTF-8"), std::string::npos) << broken;
  }
}

TEST(TextEncoding, EveryDefinedByteComesBackFromItsUtf8Form) {
  for (int byte = 1; byte < 256; ++byte) {
    std::string utf8;
    TextEncoding::AppendUtf8(TextEncoding::Windows1252CodePoint(uint8_t(byte)), &utf8);
    bool undefined = byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D;
    if (undefined) {
      EXPECT_EQ(utf8, std::string("\xC2") + char(byte)) << byte;  // the C1 control of that number
    } else {
      EXPECT_EQ(Convert(utf8), std::string(1, char(byte))) << byte;
    }
  }
  std::string euro;
  TextEncoding::AppendUtf8(TextEncoding::Windows1252CodePoint(0x80), &euro);
  EXPECT_EQ(euro, "€");
}

}  // namespace
