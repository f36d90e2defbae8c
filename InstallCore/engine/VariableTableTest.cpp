#include "VariableTable.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Expanded(const VariableTable& table, const std::string& input) {
  Text text(input.data(), uint32_t(input.size()));
  EXPECT_TRUE(table.Expand(text));
  return std::string(text.Data(), text.Length());
}

// Shift-JIS-like: 0x81..0x9F and 0xE0..0xFC start a double-byte character.
bool ShiftJisLead(unsigned char byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }

TEST(VariableTableTest, LookupIsExactAndSetKeepsPlace) {
  VariableTable table;
  table.Add("A", "1");
  table.Add("B", "2");
  table.Add("A", "shadowed");
  EXPECT_TRUE(table.Get("A").Equals("1"));
  EXPECT_TRUE(table.Get("a").Empty());
  EXPECT_TRUE(table.Get("Missing").Empty());

  table.Set("A", "${B}");
  EXPECT_EQ(table.Count(), 3u);
  EXPECT_TRUE(table.Get("A").Equals("${B}"));
  // A keeps its place before B, so B's reference is replaced within the same expansion.
  EXPECT_EQ(Expanded(table, "${A}"), "2");

  table.Set("C", "${A}");
  EXPECT_EQ(table.Count(), 4u);
  // C comes last now: the A it brings in stands earlier and stays.
  EXPECT_EQ(Expanded(table, "${C}"), "${A}");
}

TEST(VariableTableTest, UnknownUnclosedAndMiscasedReferencesStay) {
  VariableTable table;
  table.Add("Name", "value");
  EXPECT_EQ(Expanded(table, "${Other} ${Name"), "${Other} ${Name");
  EXPECT_EQ(Expanded(table, "${name} ${NAME}"), "${name} ${NAME}");
  EXPECT_EQ(Expanded(table, "$Name {Name} $${Name}}"), "$Name {Name} $value}");
  EXPECT_EQ(Expanded(table, ""), "");
}

TEST(VariableTableTest, LaterVariablesExpandInsideEarlierValues) {
  VariableTable table;
  table.Add("UninstallCommand", "${ProductPath}\\Uninst.exe");
  table.Add("ProductPath", "${ProgramsPath}\\Demo");
  table.Add("Early", "E");
  table.Add("Late", "${Early}/${ProgramsPath}");
  table.Add("ProgramsPath", "C:\\Program Files");
  EXPECT_EQ(Expanded(table, "${UninstallCommand}"), "C:\\Program Files\\Demo\\Uninst.exe");
  EXPECT_EQ(Expanded(table, "${Late}"), "${Early}/C:\\Program Files");
  EXPECT_EQ(Expanded(table, "${ProgramsPath}${ProgramsPath}"), "C:\\Program FilesC:\\Program Files");
}

TEST(VariableTableTest, SelfReferenceExpandsOnce) {
  VariableTable table;
  table.Add("Loop", "<${Loop}>");
  EXPECT_EQ(Expanded(table, "${Loop}${Loop}"), "<${Loop}><${Loop}>");
}

TEST(VariableTableTest, EveryZeroSeparatedPieceExpands) {
  VariableTable table;
  table.Add("Dir", "C:\\Long\\Folder");
  table.Add("Empty", "");
  std::string input("a=${Dir}\0b=${Empty}x\0${Dir}\0\0", 29);
  std::string expected("a=C:\\Long\\Folder\0b=x\0C:\\Long\\Folder\0\0", 37);
  EXPECT_EQ(Expanded(table, input), expected);
  // A reference cannot span a zero byte, and a name holding one never matches.
  table.Add(Text("D\0r", 3), "bad");
  std::string split("${D\0r}", 6);
  EXPECT_EQ(Expanded(table, split), split);
}

TEST(VariableTableTest, DoubleByteCharactersAreNeverSplit) {
  VariableTable plain;
  VariableTable dbcs(ShiftJisLead);
  plain.Add("A", "x");
  dbcs.Add("A", "x");
  // 0x81 0x24 is one character whose trail byte looks like '$'.
  std::string hidden("\x81${A}", 5);
  EXPECT_EQ(Expanded(plain, hidden), std::string("\x81x", 2));
  EXPECT_EQ(Expanded(dbcs, hidden), hidden);
  // A whole double-byte character before the reference does not hide it.
  std::string visible("\x82\xA0${A}\xE0", 7);
  EXPECT_EQ(Expanded(dbcs, visible), std::string("\x82\xA0x\xE0", 4));
  // A lead byte at the end of a piece does not swallow the zero, so the next piece stays aligned.
  std::string pieces("\x81\0${A}", 6);
  EXPECT_EQ(Expanded(dbcs, pieces), std::string("\x81\0x", 3));
}

}  // namespace
