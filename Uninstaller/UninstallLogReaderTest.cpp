#include "UninstallLogReader.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The lines read, one "type text" per entry joined by "|".
std::string Read(const std::string& bytes, UninstallLogReader* log) {
  if (!log->Read(bytes.data(), uint32_t(bytes.size()))) return "<refused>";
  std::string lines;
  for (const LogLine& line : log->Lines())
    lines += (lines.empty() ? "" : "|") + std::to_string(line.type) + " " + line.text.CStr();
  return lines;
}

TEST(UninstallLogReaderTest, ReadsTheInstallersLogInOrder) {
  UninstallLogReader log;
  EXPECT_EQ(Read("Demo App\r\n1 Close Demo first.\r\n3 C:\\App\\Uninst.log\r\n6 HKLM\\Software\\Demo\\\r\n"
                 "5 HKLM\\Software\\Demo\r\n2 C:\\App\r\n",
                 &log),
            "3 C:\\App\\Uninst.log|6 HKLM\\Software\\Demo\\|5 HKLM\\Software\\Demo|2 C:\\App");
  EXPECT_STREQ(log.ProductName().CStr(), "Demo App");
  EXPECT_STREQ(log.UninstallerText().CStr(), "Close Demo first.");
}

TEST(UninstallLogReaderTest, AByteOrderMarkTellsAUnicodeLogAndIsNoPartOfTheName) {
  UninstallLogReader log;
  EXPECT_EQ(Read("\xEF\xBB\xBFソフト\r\n1 Удаление\r\n3 C:\\ソフト\\😀.txt\r\n", &log), "3 C:\\ソフト\\😀.txt");
  EXPECT_STREQ(log.ProductName().CStr(), "ソフト");
  EXPECT_STREQ(log.UninstallerText().CStr(), "Удаление");
  EXPECT_TRUE(log.Utf8());
  // An ANSI log read after it is no Unicode one; a mark alone names no product.
  EXPECT_EQ(Read("Caf\xE9\r\n2 C:\\Caf\xE9\r\n", &log), "2 C:\\Caf\xE9");
  EXPECT_FALSE(log.Utf8());
  EXPECT_EQ(Read("\xEF\xBB\xBF\r\n2 C:\\a\r\n", &log), "<refused>");
  // Without a log, the journal's mark tells.
  UninstallLogReader journalOnly;
  std::string journal = "\xEF\xBB\xBFソフト\r\n2 C:\\ソフト\r\n";
  ASSERT_TRUE(journalOnly.AddJournal(journal.data(), uint32_t(journal.size()), Text("C:\\ソフト\\Uninst.log.journal")));
  EXPECT_STREQ(journalOnly.ProductName().CStr(), "ソフト");
  EXPECT_TRUE(journalOnly.Utf8());
}

TEST(UninstallLogReaderTest, ToleratesLoneLineFeedsAndAMissingLastLineEnd) {
  UninstallLogReader log;
  EXPECT_EQ(Read("Demo\n3 C:\\a.txt\r\n2 C:\\App", &log), "3 C:\\a.txt|2 C:\\App");
  EXPECT_EQ(Read("Demo", &log), "");
  EXPECT_STREQ(log.ProductName().CStr(), "Demo");
}

TEST(UninstallLogReaderTest, AJournalLeftByAnUnfinishedRunComesFirstNewestFirst) {
  const std::string journal = "Demo\r\n2 C:\\App\r\n3 C:\\App\\a.txt\r\n3 C:\\App\\b.txt\r\n";
  UninstallLogReader log;
  ASSERT_TRUE(log.AddJournal(journal.data(), uint32_t(journal.size()), "C:\\App\\Uninst.log.journal"));
  EXPECT_STREQ(log.ProductName().CStr(), "Demo") << "no log: the journal names the product";
  std::string lines;
  for (const LogLine& line : log.Lines()) lines += std::to_string(line.type) + " " + line.text.CStr() + "|";
  EXPECT_EQ(lines, "3 C:\\App\\Uninst.log.journal|3 C:\\App\\b.txt|3 C:\\App\\a.txt|2 C:\\App|");

  // Over an earlier run's log: the journal's lines are the newer ones.
  UninstallLogReader upgraded;
  EXPECT_EQ(Read("Demo\r\n3 C:\\App\\old.txt\r\n2 C:\\App\r\n", &upgraded), "3 C:\\App\\old.txt|2 C:\\App");
  ASSERT_TRUE(upgraded.AddJournal(journal.data(), uint32_t(journal.size()), "J"));
  lines.clear();
  for (const LogLine& line : upgraded.Lines()) lines += std::to_string(line.type) + " " + line.text.CStr() + "|";
  EXPECT_EQ(lines, "3 J|3 C:\\App\\b.txt|3 C:\\App\\a.txt|2 C:\\App|3 C:\\App\\old.txt|2 C:\\App|");
  EXPECT_FALSE(upgraded.AddJournal("", 0, "J")) << "an empty journal is refused";
}

TEST(UninstallLogReaderTest, RefusesALogWithoutProductName) {
  UninstallLogReader log;
  EXPECT_EQ(Read("", &log), "<refused>");
  EXPECT_EQ(Read("\r\n3 C:\\a.txt\r\n", &log), "<refused>");
  EXPECT_TRUE(log.ProductName().Empty());
  EXPECT_EQ(log.Lines().Count(), 0u) << "a refused log leaves nothing from an earlier read";
}

TEST(UninstallLogReaderTest, PassesOverLinesItCannotUse) {
  UninstallLogReader log;
  std::string bytes = "Demo\r\n9 C:\\future\r\n0 C:\\zero\r\n12345 C:\\long\r\n3\r\n3 \r\n3C:\\nospace\r\n"
                      "x C:\\word\r\n\r\n1 late text\r\n";
  const char withZero[] = "3 C:\\a.txt\0C:\\Windows\\win.ini\r\n";
  bytes += std::string(withZero, sizeof(withZero) - 1);
  bytes += "2 C:\\App\r\n";
  EXPECT_EQ(Read(bytes, &log), "2 C:\\App");
  EXPECT_TRUE(log.UninstallerText().Empty()) << "type 1 counts only right under the product name";
}

TEST(UninstallLogReaderTest, UninstallerTextGoesOnOverUnnumberedLines) {
  UninstallLogReader log;
  EXPECT_EQ(Read("Demo\r\n1 Close Demo.\r\n\r\nThen press Yes.\r\n3 C:\\a.txt\r\nnot part of it\r\n", &log),
            "3 C:\\a.txt");
  EXPECT_STREQ(log.UninstallerText().CStr(), "Close Demo.\r\n\r\nThen press Yes.");
  EXPECT_EQ(Read("Demo\r\n1 Close Demo.\r\n\r\n", &log), "");
  EXPECT_STREQ(log.UninstallerText().CStr(), "Close Demo.");
}

TEST(UninstallLogReaderTest, FullPathsAreDriveOrNetworkPaths) {
  auto full = [](const char* path) { return LogLine{3, path}.HasFullPath(); };
  EXPECT_TRUE(full("C:\\App\\a.txt"));
  EXPECT_TRUE(full("z:/app"));
  EXPECT_TRUE(full("\\\\server\\share\\a.txt"));
  EXPECT_FALSE(full("a.txt"));
  EXPECT_FALSE(full("C:a.txt"));
  EXPECT_FALSE(full("\\App\\a.txt"));
  EXPECT_FALSE(full("\\\\\\x"));
  // A network path needs both a server and a share.
  EXPECT_FALSE(full("\\\\server"));
  EXPECT_FALSE(full("\\\\server\\"));
  EXPECT_FALSE(full("\\\\server\\\\share"));
  EXPECT_TRUE(full("//server/share"));
  EXPECT_FALSE(full("1:\\x"));
  EXPECT_FALSE(full("C:"));
}

}  // namespace
