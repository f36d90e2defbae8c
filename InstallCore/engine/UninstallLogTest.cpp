#include "UninstallLog.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Rendered(const UninstallLog& log, const Text& product) {
  Text file;
  EXPECT_TRUE(log.Render(product, &file));
  return std::string(file.Data(), file.Length());
}

TEST(UninstallLogTest, RendersNewestLineFirstUnderTheProductName) {
  UninstallLog log;
  EXPECT_EQ(Rendered(log, "Demo"), "Demo\r\n");
  log.Add(2, "C:\\App");
  log.Add(3, "C:\\App\\a.txt");
  log.Add(5, "HKLM\\Software\\Demo");
  log.Add(6, "HKLM\\Software\\Demo\\");
  log.Add(1, Text("before\0hidden", 13));
  EXPECT_EQ(log.LineCount(), 5u);
  EXPECT_EQ(Rendered(log, "Demo"),
            "Demo\r\n"
            "1 before\r\n"
            "6 HKLM\\Software\\Demo\\\r\n"
            "5 HKLM\\Software\\Demo\r\n"
            "3 C:\\App\\a.txt\r\n"
            "2 C:\\App\r\n");
}

TEST(UninstallLogTest, TextsOfSeveralLinesStayOnTheirOwnLine) {
  // A package text that tries to smuggle in lines the uninstaller would undo.
  UninstallLog log;
  log.Add(3, "C:\\App\\a\r\n.txt");
  log.Add(1, "Before you go:\r\n3 C:\\keep.txt\n8 Spooler\r");
  log.Add(6, "\nHKLM\\Software\\Demo\\");
  EXPECT_EQ(Rendered(log, "Demo\r\n8 Spooler"),
            "Demo  8 Spooler\r\n"
            "6  HKLM\\Software\\Demo\\\r\n"
            "1 Before you go:  3 C:\\keep.txt 8 Spooler \r\n"
            "3 C:\\App\\a  .txt\r\n");
}

TEST(UninstallLogTest, InsideFolderNeedsASeparatorAfterThePrefix) {
  const Text temp("C:\\users\\x\\Temp");
  EXPECT_TRUE(UninstallLog::IsInsideFolder("C:\\users\\x\\Temp\\a.txt", temp));
  EXPECT_TRUE(UninstallLog::IsInsideFolder("c:/USERS/x/temp/sub/a.txt", temp));
  EXPECT_TRUE(UninstallLog::IsInsideFolder("C:\\users\\x\\Temp\\", temp));
  EXPECT_FALSE(UninstallLog::IsInsideFolder("C:\\users\\x\\Temp", temp));
  EXPECT_FALSE(UninstallLog::IsInsideFolder("C:\\users\\x\\Temp2\\App\\a.txt", temp));
  EXPECT_FALSE(UninstallLog::IsInsideFolder("C:\\users\\x\\Tem", temp));
  EXPECT_FALSE(UninstallLog::IsInsideFolder("D:\\users\\x\\Temp\\a.txt", temp));
  EXPECT_FALSE(UninstallLog::IsInsideFolder("C:\\users\\x\\Temp\\a.txt", ""));
  // Non-letters are compared exactly.
  EXPECT_FALSE(UninstallLog::IsInsideFolder("C:\\T[mp\\a", "C:\\T{mp"));
}

}  // namespace
