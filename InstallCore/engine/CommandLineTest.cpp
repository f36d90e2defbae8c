#include "CommandLine.h"

#include <gtest/gtest.h>

#include <string>

#include "Kilobytes.h"

namespace {

std::string Line(const Text& program, const Text& arguments) {
  Text line("unchanged");
  if (!CommandLine::Build(program, arguments, &line)) return "<refused>";
  return std::string(line.Data(), line.Length());
}

TEST(CommandLineTest, QuotesTheProgramAndKeepsTheSpace) {
  EXPECT_EQ(Line("C:\\Program Files\\a.exe", "/s x"), "\"C:\\Program Files\\a.exe\" /s x");
  EXPECT_EQ(Line("a.exe", ""), "\"a.exe\" ");
  EXPECT_EQ(Line(Text("a.exe\0junk", 10), Text("x\0y", 3)), "\"a.exe\" x");
}

TEST(CommandLineTest, AProgramWithoutFolderIsTheSystemFoldersOne) {
  const Text system("C:\\Windows\\system32");
  auto path = [&](const Text& program, const Text& folder) {
    Text result = CommandLine::ProgramPath(program, folder);
    return std::string(result.Data(), result.Length());
  };
  EXPECT_EQ(path("msiexec.exe", system), "C:\\Windows\\system32\\msiexec.exe");
  EXPECT_EQ(path("msiexec", system), "C:\\Windows\\system32\\msiexec");
  EXPECT_EQ(path("C:\\Tools\\a.exe", system), "C:\\Tools\\a.exe");
  EXPECT_EQ(path("sub/a.exe", system), "sub/a.exe");
  EXPECT_EQ(path("\\\\server\\share\\a.exe", system), "\\\\server\\share\\a.exe");
  // A drive-relative name is the current folder of that drive: not a bare name either.
  EXPECT_EQ(path("D:a.exe", system), "D:a.exe");
  // Without a known system folder a bare name is not started at all.
  EXPECT_EQ(path("msiexec.exe", ""), "");
}

TEST(CommandLineTest, RefusesWhatDoesNotFitTheBuffer) {
  // Quotes and space take 3 characters, the terminator one more.
  std::string program(4000, 'p');
  std::string fits(CommandLine::kCapacity - 4 - program.size(), 'a');
  Text line;
  ASSERT_TRUE(CommandLine::Build(Text(program.c_str()), Text(fits.c_str()), &line));
  EXPECT_EQ(line.Length(), CommandLine::kCapacity - 1);
  EXPECT_EQ(Line(program.c_str(), (fits + "a").c_str()), "<refused>");
  EXPECT_EQ(Line(std::string(40000, 'p').c_str(), ""), "<refused>");
}

TEST(KilobytesTest, TruncatesEachSizeAndSaturates) {
  EXPECT_EQ(Kilobytes::FromBytes(1023), 0u);
  EXPECT_EQ(Kilobytes::FromBytes(1024), 1u);
  EXPECT_EQ(Kilobytes::FromBytes(2047), 1u);
  EXPECT_EQ(Kilobytes::FromBytes(5ull << 30), 5u << 20);
  EXPECT_EQ(Kilobytes::FromBytes(5ull << 40), 0xFFFFFFFFu);
  EXPECT_EQ(Kilobytes::FromBytes((4ull << 40) - 1), 0xFFFFFFFFu);
  EXPECT_EQ(Kilobytes::Add(1, 2), 3u);
  EXPECT_EQ(Kilobytes::Add(0xFFFFFFF0u, 0x0Fu), 0xFFFFFFFFu);
  EXPECT_EQ(Kilobytes::Add(0xFFFFFFF0u, 0x10u), 0xFFFFFFFFu);
  EXPECT_EQ(Kilobytes::Add(0xFFFFFFFFu, 0xFFFFFFFFu), 0xFFFFFFFFu);
}

}  // namespace
