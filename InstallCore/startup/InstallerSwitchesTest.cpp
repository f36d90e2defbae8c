#include "InstallerSwitches.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> Names(const InstallerSwitches& s) {
  std::vector<std::string> names;
  for (const Text& name : s.components) names.push_back(name.CStr());
  return names;
}

TEST(InstallerSwitchesTest, ReadsEverySwitchInAnyCaseWithEitherPrefix) {
  InstallerSwitches s;
  Text rejected;
  ASSERT_TRUE(s.Parse("/s -Lang=1031 /log=\"C:\\Admin Logs\\setup.log\" -components=Core,\"Program files\"  /D=C:\\Some Folder",
                      &rejected))
      << rejected.CStr();
  EXPECT_TRUE(s.silent);
  EXPECT_FALSE(s.help);
  EXPECT_EQ(s.language, 1031);
  EXPECT_STREQ(s.logPath.CStr(), "C:\\Admin Logs\\setup.log");
  EXPECT_TRUE(s.hasComponents);
  EXPECT_EQ(Names(s), (std::vector<std::string>{"Core", "Program files"}));
  EXPECT_STREQ(s.destination.CStr(), "C:\\Some Folder");

  InstallerSwitches none;
  EXPECT_TRUE(none.Parse("   ", &rejected));
  EXPECT_FALSE(none.silent || none.help || none.hasComponents);
  EXPECT_TRUE(none.destination.Empty());
  EXPECT_TRUE(InstallerSwitches().Parse("/?", &rejected));
  InstallerSwitches help;
  help.Parse("-?", &rejected);
  EXPECT_TRUE(help.help);
}

TEST(InstallerSwitchesTest, DestinationTakesTheRestOfTheLineAsItStands) {
  struct Case {
    const char* tail;
    const char* destination;
  } cases[] = {
      {"/D=C:\\Program Files\\My App /S  ", "C:\\Program Files\\My App /S"},
      {"/S /d=D:\\x\\\\", "D:\\x"},
      {"/D=C:\\", "C:\\"},
      {"-D=\\\\server\\share\\app", "\\\\server\\share\\app"},
      // Quoted by the caller, whole or in its path: the quote ends it, and switches may follow.
      {"/S \"/D=C:\\Program Files\\My App\"", "C:\\Program Files\\My App"},
      {"\"/D=C:\\Program Files\\My App\\\" /LOG=C:\\l.txt", "C:\\Program Files\\My App"},
      {"/D=\"C:\\Program Files\\My App\" /S", "C:\\Program Files\\My App"},
      {"\"-d=C:\\Open Quote", "C:\\Open Quote"},
  };
  for (const Case& c : cases) {
    InstallerSwitches s;
    Text rejected;
    ASSERT_TRUE(s.Parse(c.tail, &rejected)) << c.tail << ": " << rejected.CStr();
    EXPECT_STREQ(s.destination.CStr(), c.destination) << c.tail;
  }
  InstallerSwitches s;
  Text rejected;
  ASSERT_TRUE(s.Parse("/D=\"C:\\My App\" /S /LOG=C:\\l.txt", &rejected));
  EXPECT_TRUE(s.silent);
  EXPECT_STREQ(s.logPath.CStr(), "C:\\l.txt");
}

TEST(InstallerSwitchesTest, RejectsUnknownSwitchesAndBadValuesNamingThem) {
  struct Case {
    const char* tail;
    const char* rejected;
  } cases[] = {
      {"/S /SILENT", "/SILENT"},
      {"/S setup", "setup"},
      {"/", "/"},
      {"/S=1", "/S=1"},
      {"/LANG=abc /S", "/LANG=abc"},
      {"/LANG=0", "/LANG=0"},
      {"/LANG=65536", "/LANG=65536"},
      {"/LANG=", "/LANG="},
      {"/LOG=", "/LOG="},
      {"/LOG", "/LOG"},
      {"/COMPONENTS=", "/COMPONENTS="},
      {"/COMPONENTS=a,,b", "/COMPONENTS=a,,b"},
      {"/COMPONENTS=\"a, \"", "/COMPONENTS=\"a, \""},
      {"/D=relative\\folder", "/D=relative\\folder"},
      {"/S /D=", "/D="},
      {"/D=C:\\a|b", "/D=C:\\a|b"},
      {"/D=C:\\a:b", "/D=C:\\a:b"},
      {"/D=C:", "/D=C:"},
      {"/DIR=C:\\x", "/DIR=C:\\x"},
      {"\"/D=relative\" /S", "\"/D=relative\""},
      {"/D=\"C:\\a|b\" /S", "/D=\"C:\\a|b\""},
  };
  for (const Case& c : cases) {
    InstallerSwitches s;
    Text rejected;
    EXPECT_FALSE(s.Parse(c.tail, &rejected)) << c.tail;
    EXPECT_STREQ(rejected.CStr(), c.rejected) << c.tail;
  }
  // The first refused argument is named, and /S anywhere still keeps the refusal silent.
  InstallerSwitches s;
  Text rejected;
  EXPECT_FALSE(s.Parse("/X=1 /Y -s /D=nowhere", &rejected));
  EXPECT_STREQ(rejected.CStr(), "/X=1");
  EXPECT_TRUE(s.silent);
  EXPECT_TRUE(InstallerSwitches().Parse("/S", &rejected));
  EXPECT_TRUE(rejected.Empty()) << "a later good line forgets the earlier refusal";
}

TEST(InstallerSwitchesTest, ComponentNamesKeepInnerBlanksAndTheLastListCounts) {
  InstallerSwitches s;
  Text rejected;
  ASSERT_TRUE(s.Parse("/COMPONENTS=x /COMPONENTS=\" Program files , Docs\"", &rejected));
  EXPECT_EQ(Names(s), (std::vector<std::string>{"Program files", "Docs"}));
}

TEST(InstallerSwitchesTest, PassiveAndTheLastScopeGiven) {
  InstallerSwitches s;
  Text rejected;
  ASSERT_TRUE(s.Parse("-passive /AllUsers /currentuser", &rejected)) << rejected.CStr();
  EXPECT_TRUE(s.passive);
  EXPECT_FALSE(s.silent);
  EXPECT_EQ(s.scope, InstallerSwitches::kCurrentUser);
  ASSERT_TRUE(s.Parse("/CURRENTUSER /ALLUSERS", &rejected));
  EXPECT_EQ(s.scope, InstallerSwitches::kAllUsers);
  InstallerSwitches none;
  ASSERT_TRUE(none.Parse("/S", &rejected));
  EXPECT_EQ(none.scope, InstallerSwitches::kPackageScope);
  EXPECT_FALSE(none.passive);
  for (const char* bad : {"/PASSIVE=1", "/ALLUSER", "/CURRENTUSER=yes", "/PASSIV"}) {
    EXPECT_FALSE(InstallerSwitches().Parse(bad, &rejected)) << bad;
    EXPECT_STREQ(rejected.CStr(), bad);
  }
}

}  // namespace
