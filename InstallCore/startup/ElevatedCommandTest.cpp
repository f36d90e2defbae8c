#include "ElevatedCommand.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Builds the line for these choices; empty when Build refused them.
std::string Line(bool silent, bool passive, uint16_t language, std::vector<const char*> components, const char* log,
                 const char* destination) {
  InstallerSwitches s;
  s.silent = silent;
  s.passive = passive;
  s.language = language;
  s.hasComponents = !components.empty();
  for (const char* name : components) s.components.Append(Text(name));
  s.logPath = log;
  s.destination = destination;
  Text line;
  if (!ElevatedCommand::Build(s, &line)) return std::string();
  EXPECT_FALSE(line.Empty());
  return line.CStr();
}

// What the elevated installer reads from the line: the choices, every one, for all users.
void ReadBack(const std::string& line, InstallerSwitches* read) {
  Text rejected;
  EXPECT_TRUE(read->Parse(line.c_str(), &rejected)) << line << " refused at " << rejected.CStr();
  EXPECT_EQ(read->scope, InstallerSwitches::kAllUsers) << line;
}

std::vector<std::string> Names(const InstallerSwitches& s) {
  std::vector<std::string> names;
  for (const Text& name : s.components) names.push_back(name.CStr());
  return names;
}

TEST(ElevatedCommandTest, EveryChoiceReadsBackAsGivenWithBlanksInPathsAndNames) {
  std::string line = Line(false, true, 1031, {"Core", "Program files", "Help"}, "C:\\Admin Logs\\set up.log",
                          "C:\\Program Files\\My App  2");
  EXPECT_EQ(line,
            "/ALLUSERS /PASSIVE /LANG=1031 /COMPONENTS=\"Core,Program files,Help\" "
               "/LOG=\"C:\\Admin Logs\\set up.log\" /D=C:\\Program Files\\My App  2");
  InstallerSwitches read;
  ReadBack(line, &read);
  EXPECT_TRUE(read.passive);
  EXPECT_FALSE(read.silent);
  EXPECT_EQ(read.language, 1031);
  EXPECT_TRUE(read.hasComponents);
  EXPECT_EQ(Names(read), (std::vector<std::string>{"Core", "Program files", "Help"}));
  EXPECT_STREQ(read.logPath.CStr(), "C:\\Admin Logs\\set up.log");
  EXPECT_STREQ(read.destination.CStr(), "C:\\Program Files\\My App  2");

  // Without blanks nothing is quoted; a root folder keeps its backslash.
  line = Line(true, false, 0, {"Core"}, "C:\\setup.log", "D:\\");
  EXPECT_EQ(line, "/ALLUSERS /S /COMPONENTS=Core /LOG=C:\\setup.log /D=D:\\");
  InstallerSwitches unattended;
  ReadBack(line, &unattended);
  EXPECT_TRUE(unattended.silent);
  EXPECT_STREQ(unattended.destination.CStr(), "D:\\");
}

TEST(ElevatedCommandTest, OnlyTheChoicesMadeAreHandedOnAndSilentWinsOverPassive) {
  std::string line = Line(false, false, 0, {}, "", "");
  EXPECT_EQ(line, "/ALLUSERS");
  InstallerSwitches read;
  ReadBack(line, &read);
  EXPECT_FALSE(read.silent || read.passive || read.hasComponents || read.language);
  EXPECT_TRUE(read.logPath.Empty() && read.destination.Empty());

  // /S shows nothing; /PASSIVE beside it would add nothing the installer reads.
  EXPECT_EQ(Line(true, true, 0, {}, "", ""), "/ALLUSERS /S");

  // A scope given on the command line is replaced: the elevated run is for all users.
  InstallerSwitches currentUser;
  currentUser.scope = InstallerSwitches::kCurrentUser;
  Text built;
  ASSERT_TRUE(ElevatedCommand::Build(currentUser, &built));
  InstallerSwitches allUsers;
  ReadBack(built.CStr(), &allUsers);
}

TEST(ElevatedCommandTest, RefusesWhatNoCommandLineCanCarry) {
  Text line;
  EXPECT_EQ(Line(true, false, 0, {}, "C:\\a\"b.log", ""), "");
  EXPECT_EQ(Line(true, false, 0, {}, "", "C:\\My \"App\""), "");
  EXPECT_EQ(Line(true, false, 0, {"Say \"hi\""}, "", ""), "");
  EXPECT_EQ(Line(true, false, 0, {"Core", "Fonts, extra"}, "", ""), "");
  EXPECT_EQ(Line(true, false, 0, {" Core"}, "", ""), "");
  EXPECT_EQ(Line(true, false, 0, {"Core "}, "", ""), "");
  // Asked for exactly no component: /COMPONENTS= with nothing is no valid switch.
  InstallerSwitches none;
  none.hasComponents = true;
  EXPECT_FALSE(ElevatedCommand::Build(none, &line));
}

}  // namespace
