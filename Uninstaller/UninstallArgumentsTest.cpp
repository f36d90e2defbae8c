#include "UninstallArguments.h"

#include <gtest/gtest.h>

namespace {

TEST(UninstallArgumentsTest, FindsTheLogPathQuotedOrNot) {
  const char* lines[] = {
      "\"C:\\Program Files\\Demo\\Uninst.exe\" \"C:\\Program Files\\Demo\\Uninst.log\"",
      "C:\\Program Files\\Demo\\Uninst.exe C:\\Program Files\\Demo\\Uninst.log",
      "C:\\Program Files\\Demo\\UNINST.EXE   \"C:\\Program Files\\Demo\\Uninst.log\"  /S",
      "Uninst /S C:\\Program Files\\Demo\\Uninst.log",
  };
  for (const char* line : lines)
    EXPECT_STREQ(UninstallArguments::Parse(line).logPath.CStr(), "C:\\Program Files\\Demo\\Uninst.log") << line;
  EXPECT_TRUE(UninstallArguments::Parse("\"Uninst.exe\"").logPath.Empty());
  EXPECT_TRUE(UninstallArguments::Parse("").logPath.Empty());
  EXPECT_STREQ(UninstallArguments::Parse("\"C:\\a b\\Uninst.exe").logPath.CStr(), "") << "unclosed quote";
}

TEST(UninstallArgumentsTest, SilentSwitchAnywhere) {
  EXPECT_TRUE(UninstallArguments::Parse("u.exe /S \"C:\\x.log\"").silent);
  EXPECT_TRUE(UninstallArguments::Parse("u.exe C:\\x.log /s").silent);
  EXPECT_FALSE(UninstallArguments::Parse("u.exe C:\\x.log").silent);
  EXPECT_FALSE(UninstallArguments::Parse("u.exe C:\\x.log /Silent").silent);
  EXPECT_FALSE(UninstallArguments::Parse("u.exe \"C:\\a /S\\x.log\"").silent) << "inside quotes it is path";
}

TEST(UninstallArgumentsTest, LogSwitchNamesAFileQuotedOrNotApartFromTheUninstallLog) {
  UninstallArguments quoted =
      UninstallArguments::Parse("\"C:\\A B\\Uninst.exe\" \"C:\\A B\\Uninst.log\" /S /log=\"C:\\Admin Logs\\out.txt\"");
  EXPECT_STREQ(quoted.reportPath.CStr(), "C:\\Admin Logs\\out.txt");
  EXPECT_STREQ(quoted.logPath.CStr(), "C:\\A B\\Uninst.log");
  EXPECT_TRUE(quoted.silent);
  UninstallArguments bare = UninstallArguments::Parse("u.exe /LOG=C:\\out.txt C:\\x.log");
  EXPECT_STREQ(bare.reportPath.CStr(), "C:\\out.txt");
  EXPECT_STREQ(bare.logPath.CStr(), "C:\\x.log");
  EXPECT_TRUE(UninstallArguments::Parse("u.exe C:\\x.log").reportPath.Empty());
}

TEST(UninstallArgumentsTest, CopySwitchRoundTripsAndKeepsTheOriginalArguments) {
  Text line("\"C:\\Temp\\Uninst-7.exe\" \"C:\\App\\Uninst.log\" /S ");
  line.Append(UninstallArguments::CopySwitch(124, 88));
  UninstallArguments copy = UninstallArguments::Parse(line.CStr());
  EXPECT_TRUE(copy.IsCopy());
  EXPECT_EQ(copy.originalProcess, 124u);
  EXPECT_EQ(copy.resultPipe, 88u);
  EXPECT_TRUE(copy.silent);
  EXPECT_STREQ(copy.logPath.CStr(), "C:\\App\\Uninst.log");

  UninstallArguments original = UninstallArguments::Parse("C:\\App\\Uninst.exe \"C:\\App\\Uninst.log\" /S");
  EXPECT_FALSE(original.IsCopy());
  EXPECT_STREQ(original.arguments.CStr(), "\"C:\\App\\Uninst.log\" /S");
  for (const char* bad :
       {"/COPYOF=", "/COPYOF=12", "/COPYOF=12,", "/COPYOF=0,5", "/COPYOF=1,2x", "/COPYOF=1234567890,1"})
    EXPECT_FALSE(UninstallArguments::Parse((std::string("u.exe C:\\x.log ") + bad).c_str()).IsCopy()) << bad;
}

}  // namespace
