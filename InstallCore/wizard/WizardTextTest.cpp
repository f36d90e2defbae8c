#include "WizardText.h"

#include <gtest/gtest.h>

#include <string>

namespace {
bool NoLeadBytes(unsigned char) { return false; }
// Shift-JIS lead bytes, as the ANSI code page 932 has them.
bool ShiftJisLeadByte(unsigned char byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }

std::string Str(const Text& text) { return std::string(text.Data(), text.Length()); }
std::string Shorten(const char* path, WizardText::LeadByteTest lead = NoLeadBytes) {
  return Str(WizardText::ShortenPath(path, 35, lead));
}
}  // namespace

TEST(WizardText, SizesSwitchToMegabytesAt99Mb) {
  EXPECT_EQ(Str(WizardText::FormatSize(0)), "0 Kb");
  EXPECT_EQ(Str(WizardText::FormatSize(101375)), "101375 Kb");
  EXPECT_EQ(Str(WizardText::FormatSize(101376)), "99 Mb");
  EXPECT_EQ(Str(WizardText::FormatSize(1048575)), "1023 Mb");
  EXPECT_EQ(Str(WizardText::FormatSize(0xFFFFFFFFu)), "4194303 Mb");
}

TEST(WizardText, PathsOf35CharactersAreShortened) {
  std::string path34 = "C:\\Program Files\\Product\\tool.dll";
  path34.insert(3, 34 - path34.size(), 'x');
  ASSERT_EQ(path34.size(), 34u);
  EXPECT_EQ(Shorten(path34.c_str()), path34);
  std::string path35 = path34;
  path35.insert(3, "y");
  EXPECT_EQ(Shorten(path35.c_str()), "C:\\...\\tool.dll");
  EXPECT_EQ(Shorten("C:\\Program Files\\Product\\bin\\tools.dll"), "C:\\...\\tools.dll");
}

TEST(WizardText, PathsWithoutAMiddleStayWhole) {
  std::string one = "C:\\" + std::string(60, 'a') + ".txt";
  EXPECT_EQ(Shorten(one.c_str()), one);
  std::string adjacent = "C:\\\\" + std::string(60, 'a') + ".txt";
  EXPECT_EQ(Shorten(adjacent.c_str()), adjacent);
  std::string none(50, 'n');
  EXPECT_EQ(Shorten(none.c_str()), none);
  // One character between the backslashes is enough, and the result is then two longer.
  std::string name = std::string(40, 'f') + ".dat";
  EXPECT_EQ(Shorten(("C:\\x\\" + name).c_str()), "C:\\...\\" + name);
}

TEST(WizardText, DoubleByteCharactersAreNeverSplit) {
  // 0x5C is a backslash only outside a double-byte character: "\x83\x5C" is one character.
  std::string path = "C:\\Data\\" + std::string(30, 'a') + "\x83\\" + "b.txt";
  EXPECT_EQ(Shorten(path.c_str(), ShiftJisLeadByte), "C:\\..." + path.substr(7));
  EXPECT_EQ(Shorten(path.c_str(), NoLeadBytes), "C:\\...\\b.txt");
  // A lead byte at the very end is a character of its own.
  std::string trailing = "C:\\a\\" + std::string(40, 'z') + "\x83";
  EXPECT_EQ(Shorten(trailing.c_str(), ShiftJisLeadByte), "C:\\...\\" + std::string(40, 'z') + "\x83");
}

TEST(WizardText, SpaceLineTakesTwoStringsAndNothingElse) {
  EXPECT_EQ(Str(WizardText::FormatTwoStrings("Required: %s  Free: %s", "5 Kb", "9 Mb")), "Required: 5 Kb  Free: 9 Mb");
  EXPECT_EQ(Str(WizardText::FormatTwoStrings("%s%%%s", "1", "2")), "1%2");
  EXPECT_EQ(Str(WizardText::FormatTwoStrings("%s %s %s %d %n%", "a", "b")), "a b %s %d %n%");
  EXPECT_EQ(Str(WizardText::FormatTwoStrings("", "a", "b")), "");
}
