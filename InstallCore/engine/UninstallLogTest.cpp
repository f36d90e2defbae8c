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

TEST(UninstallLogTest, RegistrationHeadsTheLogAndRepeatedLinesStandOnceAtTheirNewestPlace) {
  UninstallLog log;
  log.Add(2, "C:\\App");
  log.SetTier(UninstallLog::kRegistration);
  log.Add(5, "HKLM\\Uninstall\\Demo");
  log.Add(3, "C:\\App\\uninst.exe");
  log.SetTier(UninstallLog::kChanges);
  log.Add(3, "C:\\App\\a.txt");
  log.Add(3, "C:\\App\\b.txt");
  log.Add(3, "C:\\App\\a.txt");
  log.SetTier(UninstallLog::kClosing);
  log.Add(3, "C:\\App\\Uninst.log");
  EXPECT_EQ(Rendered(log, "Demo"),
            "Demo\r\n"
            "3 C:\\App\\Uninst.log\r\n"
            "3 C:\\App\\uninst.exe\r\n"
            "5 HKLM\\Uninstall\\Demo\r\n"
            "3 C:\\App\\a.txt\r\n"
            "3 C:\\App\\b.txt\r\n"
            "2 C:\\App\r\n");
}

TEST(UninstallLogTest, AnEarlierLogOfTheSameProductKeepsWhatThisRunDoesNotRecordAgain) {
  const std::string earlier =
      "Demo\r\n"
      "1 keep settings\r\n"
      "second line of that text\r\n"
      "3 C:\\App\\Uninst.log\r\n"
      "8 DemoService\r\n"
      "3 C:\\App\\old.txt\r\n"
      "12 not a change\r\n"
      "3 C:\\App\\a.txt\n"
      "2 C:\\App\\sub\r\n"
      "2 C:\\App";
  UninstallLog other;
  EXPECT_FALSE(other.KeepEarlier(earlier.data(), uint32_t(earlier.size()), "Other"));
  EXPECT_EQ(Rendered(other, "Other"), "Other\r\n");

  UninstallLog log;
  ASSERT_TRUE(log.KeepEarlier(earlier.data(), uint32_t(earlier.size()), "Demo"));
  EXPECT_TRUE(log.RecordedEarlier(8, "DemoService"));
  EXPECT_FALSE(log.RecordedEarlier(8, "Demo"));
  EXPECT_FALSE(log.RecordedEarlier(1, "keep settings"));
  // What this run recorded is told apart from what the earlier log did, letter case aside.
  EXPECT_FALSE(log.Recorded(8, "DemoService"));
  log.Add(6, "HKLM\\Software\\Demo\\NoModify");
  EXPECT_TRUE(log.Recorded(6, "HKLM\\SOFTWARE\\demo\\nomodify"));
  EXPECT_FALSE(log.Recorded(6, "HKLM\\Software\\Demo\\NoModif"));
  EXPECT_FALSE(log.Recorded(5, "HKLM\\Software\\Demo\\NoModify"));
  log.Add(2, "C:\\App");
  log.Add(3, "C:\\App\\a.txt");
  log.Add(3, "C:\\App\\new.txt");
  log.SetTier(UninstallLog::kClosing);
  log.Add(3, "C:\\App\\Uninst.log");
  EXPECT_EQ(Rendered(log, "Demo"),
            "Demo\r\n"
            "3 C:\\App\\Uninst.log\r\n"
            "3 C:\\App\\new.txt\r\n"
            "3 C:\\App\\a.txt\r\n"
            "2 C:\\App\r\n"
            "6 HKLM\\Software\\Demo\\NoModify\r\n"
            "8 DemoService\r\n"
            "3 C:\\App\\old.txt\r\n"
            "2 C:\\App\\sub\r\n");
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

TEST(UninstallLogTest, FolderOfEndsAtTheLastSeparatorOfEitherKind) {
  EXPECT_EQ(UninstallLog::FolderOf("C:\\App\\sub/a.dll"), Text("C:\\App\\sub"));
  EXPECT_EQ(UninstallLog::FolderOf("C:/App\\a.dll"), Text("C:/App"));
  EXPECT_EQ(UninstallLog::FolderOf("C:\\App\\"), Text("C:\\App"));
  EXPECT_EQ(UninstallLog::FolderOf("a.dll"), Text());
  EXPECT_EQ(UninstallLog::FolderOf(""), Text());
}

}  // namespace
