#include "InstallLogText.h"

#include <gtest/gtest.h>

namespace {

const InstallLogText::Time kTime = {2026, 3, 4, 5, 6, 7};

TEST(InstallLogTextTest, OneStampedLinePerEntryWhateverTheTextHolds) {
  EXPECT_STREQ(InstallLogText::Line(kTime, "ok      File C:\\a.txt").CStr(), "05:06:07 ok      File C:\\a.txt\r\n");
  Text broken("Registry value HKCU\\k\\a\r\nb");
  broken.Append('\0');
  broken.Append("c");
  Text line = InstallLogText::Line(kTime, broken);
  EXPECT_EQ(line.Length(), 9u + broken.Length() + 2u);
  EXPECT_STREQ(line.CStr(), "05:06:07 Registry value HKCU\\k\\a  b c\r\n");
  EXPECT_STREQ(InstallLogText::DateTime(InstallLogText::Time{2026, 12, 31, 23, 59, 0}).CStr(), "2026-12-31 23:59:00");
}

TEST(InstallLogTextTest, FailuresCarryTheCodeAndTheSystemsText) {
  EXPECT_STREQ(InstallLogText::Outcome("File C:\\a", 0, "ignored").CStr(), "ok      File C:\\a");
  EXPECT_STREQ(InstallLogText::Outcome("File C:\\a", 5, "Access is denied.\r\n").CStr(),
               "FAILED  File C:\\a: error 5, Access is denied.");
  EXPECT_STREQ(InstallLogText::Outcome("Script JScript", 0x80020101u, "").CStr(),
               "FAILED  Script JScript: error 0x80020101");
}

}  // namespace
