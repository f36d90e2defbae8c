#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <string>
#include <vector>

#include "LanguageTable.h"
#include "ManifestEntries.h"
#include "ManifestParser.h"
#include "ManifestTestTree.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A literal's bytes, zero bytes included, without the literal's own terminator.
template <size_t N>
Bytes L(const char (&literal)[N]) {
  return Bytes(literal, literal + N - 1);
}

Bytes Le32(uint32_t value) { return {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)}; }

// Product and one component; a test appends its actions as an inline array.
const char kHead[] = "[product]\nname = \"Demo\"\n[[component]]\nname = \"Main\"\n";
// The same with texts in Windows-1252, whose bytes tell converted text from copied text.
const char kAnsiHead[] = "[product]\nname = \"Demo\"\nencoding = \"ansi\"\n[[component]]\nname = \"Main\"\n";

class ManifestTest : public ::testing::Test {
 protected:
  // Parses the text as tree/setup.toml and keeps its entries by name.
  bool Build(const std::string& text) {
    Manifest manifest;
    ManifestParser parser;
    bool ok = parser.ParseFile(tree_.Write("setup.toml", text), &manifest);
    errors_ = parser.errors();
    warnings_ = parser.warnings();
    entries_.clear();
    if (!ok) return false;
    for (PackageEntry& entry : ManifestEntries(std::move(manifest))) {
      std::string name = entry.name;
      EXPECT_TRUE(entries_.emplace(name, std::move(entry)).second) << "duplicate " << name;
    }
    return true;
  }
  bool BuildActions(const std::string& actions, const char* head = kHead) {
    return Build(std::string(head) + "action = [\n" + actions + "]\n");
  }

  bool Has(const std::string& name) const { return entries_.count(name) != 0; }
  Bytes Content(const std::string& name) const {
    auto it = entries_.find(name);
    EXPECT_NE(it, entries_.end()) << name;
    return it == entries_.end() ? Bytes() : it->second.content;
  }
  std::string Text(const std::string& name) const {
    Bytes bytes = Content(name);
    return std::string(bytes.begin(), bytes.end());
  }
  Storage StorageOf(const std::string& name) const { return entries_.at(name).storage; }
  // The attribute field of a type 0 or 9 record, and its destination without the zero.
  Bytes AttributesOf(const std::string& name) const {
    Bytes record = Content(name);
    return record.size() < 33 ? Bytes() : Bytes(record.begin() + 28, record.begin() + 32);
  }
  std::string DestinationOf(const std::string& name) const {
    Bytes record = Content(name);
    return record.size() < 33 ? "" : std::string(record.begin() + 32, record.end() - 1);
  }
  std::string Errors() const {
    std::string all;
    for (const ManifestMessage& error : errors_) all += error.Format("error") + "\n";
    return all;
  }

  ManifestTestTree tree_;
  std::map<std::string, PackageEntry> entries_;
  std::vector<ManifestMessage> errors_;
  std::vector<ManifestMessage> warnings_;
};

TEST_F(ManifestTest, MinimalManifestGetsDefaultsEnglishAndGerman) {
  ASSERT_TRUE(Build(kHead)) << Errors();
  EXPECT_EQ(Text("ProductName"), "Demo");
  EXPECT_EQ(Text("ProductPath"), "${ProgramsPath}\\Demo");
  EXPECT_EQ(Text("AddedFolder"), "Demo");
  EXPECT_EQ(Text("AddedMenu"), "Demo");
  EXPECT_EQ(Text("UserMenu"), "1");
  EXPECT_EQ(Content("flags"), Le32(2));
  EXPECT_EQ(Content("0\\flags"), Bytes{3});
  EXPECT_EQ(Text("0\\name"), "Main");
  for (const char* absent : {"CompanyName", "ProductVersion", "UEBefore", "DisplayIcon", "URLInfoAbout", "HelpLink",
                             "EULA", "Logo.bmp", "uninst.exe", "0\\descr", "0\\0", "1\\flags", "l\\25\\name", "l\\0\\201.207", "l\\0\\201.235", "l\\0\\201.230"}) {
    EXPECT_FALSE(Has(absent)) << absent;
  }
  EXPECT_EQ(Text("l\\0\\name"), "English");
  EXPECT_EQ(Text("l\\1\\name"), "Deutsch");
  EXPECT_EQ(Text("l\\0\\id"), "1033");
  EXPECT_EQ(Text("l\\0\\201.1"), "&Install");
  EXPECT_EQ(Text("l\\0\\201.222"), "Install ${ProductName} in this folder:");
  EXPECT_EQ(Text("l\\0\\_7"), "Space required: %s    Space available: %s");
  for (const char* key : {"2", "5", "224", "226", "228", "231", "238", "239"}) {
    EXPECT_TRUE(Has(std::string("l\\0\\201.") + key)) << key;
  }
  for (const char* key : {"_4", "_5", "_6"}) EXPECT_TRUE(Has(std::string("l\\0\\") + key)) << key;
  for (const auto& [name, entry] : entries_) EXPECT_EQ(entry.storage, Storage::Solid) << name;
  EXPECT_TRUE(warnings_.empty());
}

TEST_F(ManifestTest, ProductKeysMapToEntriesAndFlagBits) {
  tree_.Write("eula.rtf", "{\\rtf1 Hi}");
  tree_.Write("uninst.exe", "MZ\x90");
  ASSERT_TRUE(Build(R"M(
[product]
name = "Café Tool"
encoding = "ansi"
company = "Acme"
version = "2.1"
destination = 'C:\Tools\Café'
added_folder = '\Café\'
start_menu = 'Acme\Café'
start_menu_all_users = true
allow_folder_change = false
allow_start_menu_change = true
unattended = true
uninstaller_text = "Bye"
licence = "eula.rtf"
uninstaller = "uninst.exe"
icon = '${ProductPath}\tool.exe,1'
url = "https://acme.example/caf%C3%A9"
help_url = "https://acme.example/help"
[[component]]
name = "Main"
description = "Everything"
listed = false
[[component]]
name = "Extra"
selected = false
)M")) << Errors();
  EXPECT_EQ(Content("ProductName"), L("Caf\xE9 Tool"));  // Windows-1252, no terminator
  EXPECT_EQ(Text("CompanyName"), "Acme");
  EXPECT_EQ(Text("ProductVersion"), "2.1");
  EXPECT_EQ(Text("ProductPath"), "C:\\Tools\\Caf\xE9");
  EXPECT_EQ(Text("AddedFolder"), "Caf\xE9");
  EXPECT_EQ(Text("AddedMenu"), "Acme\\Caf\xE9");
  EXPECT_EQ(Text("UserMenu"), "0");
  EXPECT_EQ(Content("flags"), Le32(1 | 4));
  EXPECT_EQ(Text("UEBefore"), "Bye");
  EXPECT_EQ(Text("DisplayIcon"), "${ProductPath}\\tool.exe,1");
  EXPECT_EQ(Text("URLInfoAbout"), "https://acme.example/caf%C3%A9");
  EXPECT_EQ(Text("HelpLink"), "https://acme.example/help");
  EXPECT_EQ(Text("EULA"), "{\\rtf1 Hi}");
  EXPECT_EQ(StorageOf("EULA"), Storage::Best);
  EXPECT_EQ(Text("uninst.exe"), "MZ\x90");
  EXPECT_EQ(StorageOf("uninst.exe"), Storage::Best);
  EXPECT_EQ(Content("0\\flags"), Bytes{2});
  EXPECT_EQ(Text("0\\descr"), "Everything");
  EXPECT_EQ(Content("1\\flags"), Bytes{1});
  EXPECT_EQ(Text("1\\name"), "Extra");
}

TEST_F(ManifestTest, ScopeSetsFlagBitsAndAPerUserProductIsHeldToTheUsersPart) {
  auto flags = [&](const char* scope) {
    std::string text = std::string("[product]\nname = \"Demo\"\n") + scope + "[[component]]\nname = \"Main\"\n";
    EXPECT_TRUE(Build(text)) << Errors();
    return Content("flags");
  };
  EXPECT_EQ(flags(""), Le32(2));
  EXPECT_EQ(flags("scope = \"machine\"\n"), Le32(2));
  EXPECT_EQ(flags("scope = \"user\"\n"), Le32(2 | 8));
  EXPECT_EQ(flags("scope = \"either\"\n"), Le32(2 | 8 | 16));
  EXPECT_EQ(Text("ProductPath"), "${ProgramsPath}\\Demo");

  // What needs administrator rights, named at its line, for "user" and "either" alike.
  const char* const kRefused[][3] = {
      {"{kind = \"service\", name = \"S\", program = 'C:\\x.exe'}", "7:1", "a service needs administrator rights"},
      {"{kind = \"registry\", root = \"HKLM\", key = 'Software\\D', data = 1}", "7:28", "a value under HKLM"},
      {"{kind = \"registry\", root = \"HKCR\", key = '.demo', data = \"x\"}", "7:28", "Software\\Classes"},
      {"{kind = \"copy_file\", source = 'C:\\a', destination = 'c:\\windows\\a'}", "7:53", "Windows folder"},
      {"{kind = \"copy_folder\", source = 'C:\\a', destination = '${SystemPath}\\a'}", "7:55", "Windows folder"},
      {"{kind = \"shortcut\", path = 'D:\\Program Files (x86)\\a', target = 'x'}", "7:28", "program files folder"},
  };
  for (const char* scope : {"user", "either"}) {
    for (const auto& refused : kRefused) {
      std::string text = std::string("[product]\nname = \"Demo\"\nscope = \"") + scope +
                         "\"\n[[component]]\nname = \"Main\"\naction = [\n" + refused[0] + "]\n";
      EXPECT_FALSE(Build(text)) << refused[0];
      ASSERT_EQ(errors_.size(), 1u) << Errors();
      EXPECT_EQ(std::to_string(errors_[0].line) + ":" + std::to_string(errors_[0].column), refused[1]) << Errors();
      EXPECT_NE(errors_[0].text.find(refused[2]), std::string::npos) << Errors();
      // A product for every user may do all of it.
      text.replace(text.find(scope) - 1, strlen(scope) + 2, "\"machine\"");
      EXPECT_TRUE(Build(text)) << Errors();
    }
  }
  EXPECT_FALSE(Build("[product]\nname = \"Demo\"\nscope = \"user\"\ndestination = 'C:\\Program Files\\Demo'\n"
                     "[[component]]\nname = \"Main\"\n"));
  EXPECT_NE(Errors().find("setup.toml:4:15: error: 'destination' lies in the program files folder"), std::string::npos)
      << Errors();
  // Folders that merely begin alike, and the user's own, are fine.
  tree_.Write("a.txt", "a");
  EXPECT_TRUE(Build("[product]\nname = \"Demo\"\nscope = \"user\"\ndestination = 'C:\\Windowsill\\Demo'\n"
                    "[[component]]\nname = \"Main\"\naction = [\n"
                    "{kind = \"registry\", root = \"HKCU\", key = 'Software\\D', data = 1},\n"
                    "{kind = \"files\", source = \"a.txt\", destination = '${FontsPath}'},\n]\n"))
      << Errors();
  EXPECT_FALSE(Build("[product]\nname = \"Demo\"\nscope = \"everyone\"\n[[component]]\nname = \"Main\"\n"));
  EXPECT_NE(Errors().find("3:9"), std::string::npos) << Errors();
}

TEST_F(ManifestTest, FilesBecomeRecordsWithTimesAttributesAndContent) {
  tree_.Write("src/a.txt", "alpha");
  tree_.Write("src/b.bin", std::string("\0\1", 2));
  tree_.SetTimes("src/a.txt", 1700000000, 123456789, 1600000000, 5);
  chmod(tree_.Path("src/b.bin").c_str(), 0444);
  ASSERT_TRUE(Build(std::string(kHead) + R"M(
[[component.action]]
kind = "files"
source = "src/a.txt"
[[component.action]]
kind = "files"
source = "src/b.bin"
destination = 'C:\Out\'
name = "renamed.bin"
[[component.action]]
kind = "files"
source = "src/a.txt"
attributes = ["hidden", "system"]
[[component.action]]
kind = "files"
source = "src/a.txt"
attributes = []
)M")) << Errors();
  // 1700000000.123456789 s after 1970 as FILETIME, for all three times: the access time is not recorded.
  const uint64_t write = (1700000000ull + 11644473600ull) * 10000000ull + 1234567;
  Bytes expected = Le32(0);
  for (uint32_t word : {uint32_t(write), uint32_t(write >> 32), uint32_t(write), uint32_t(write >> 32),
                        uint32_t(write), uint32_t(write >> 32), 0x20u}) {
    Bytes bytes = Le32(word);
    expected.insert(expected.end(), bytes.begin(), bytes.end());
  }
  Bytes path = L("${ProductPath}\\a.txt\0");
  expected.insert(expected.end(), path.begin(), path.end());
  EXPECT_EQ(Content("0\\0"), expected);
  EXPECT_EQ(Text("0\\0.f"), "alpha");
  EXPECT_EQ(StorageOf("0\\0.f"), Storage::File);
  EXPECT_EQ(AttributesOf("0\\1"), Le32(0x21));  // no write permission: read-only
  EXPECT_EQ(DestinationOf("0\\1"), "C:\\Out\\renamed.bin");
  EXPECT_EQ(Content("0\\1.f"), L("\0\1"));
  EXPECT_EQ(AttributesOf("0\\2"), Le32(0x06));
  EXPECT_EQ(AttributesOf("0\\3"), Le32(0x80));
  EXPECT_FALSE(Has("0\\4"));
}

TEST_F(ManifestTest, FolderTreesAndGlobsKeepRelativePathsInByteOrder) {
  for (const char* file : {"tree/b.txt", "tree/A/z.txt", "tree/A/deeper/y.dat", "tree/.hidden", "assets/img/p.png",
                           "assets/img/q.txt", "assets/p.png", "assets/.cache/x.png"}) {
    tree_.Write(file, file);
  }
  ASSERT_TRUE(BuildActions(R"M(
{kind = "files", source = "tree", destination = 'D:\t'},
{kind = "files", source = "assets/**/*.png", destination = 'D:\g'},
)M")) << Errors();
  EXPECT_EQ(DestinationOf("0\\0"), "D:\\t\\.hidden");  // a whole folder carries its hidden files
  EXPECT_EQ(DestinationOf("0\\1"), "D:\\t\\A\\deeper\\y.dat");
  EXPECT_EQ(DestinationOf("0\\2"), "D:\\t\\A\\z.txt");
  EXPECT_EQ(DestinationOf("0\\3"), "D:\\t\\b.txt");
  EXPECT_EQ(Text("0\\3.f"), "tree/b.txt");
  EXPECT_EQ(DestinationOf("0\\4"), "D:\\g\\img\\p.png");
  EXPECT_EQ(DestinationOf("0\\5"), "D:\\g\\p.png");  // ** matches no folder too; .cache is skipped
  EXPECT_EQ(Text("0\\5.f"), "assets/p.png");
  EXPECT_FALSE(Has("0\\6"));
}

TEST_F(ManifestTest, RegistryDataTakesTheNaturalFormOfEachType) {
  ASSERT_TRUE(BuildActions(R"M(
{kind = "registry", root = "HKCU", key = 'Software\Demo', data = "é"},
{kind = "registry", root = "HKEY_LOCAL_MACHINE", key = 'S\D', name = "P", type = "expand_string", data = '%T%\x'},
{kind = "registry", root = "HKCR", key = "K", name = "N", data = -2},
{kind = "registry", root = "HKCC", key = "K", name = "M", data = ["a", "bc"]},
{kind = "registry", root = "HKCU", key = "K", name = "B", type = "binary", data = "de:AD be-0f"},
{kind = "registry", root = "HKCU", key = "K", name = "C", type = "binary", data = [0, 255]},
{kind = "registry", root = "HKCU", key = "K", name = "E", data = []},
{kind = "registry", root = "HKCU", key = "K", name = "D", type = "dword", data = 4294967295},
)M", kAnsiHead)) << Errors();
  // Type, data length and root, then the path with its zero, then the data.
  EXPECT_EQ(Content("0\\0"), L("\4\0\0\0\1\0\0\0\2\0\0\0\1\0\0\x80Software\\Demo\\@\0\xE9\0"));
  EXPECT_EQ(Content("0\\1"), L("\4\0\0\0\2\0\0\0\6\0\0\0\2\0\0\x80S\\D\\P\0%T%\\x\0"));
  EXPECT_EQ(Content("0\\2"), L("\4\0\0\0\4\0\0\0\4\0\0\0\0\0\0\x80K\\N\0\xFE\xFF\xFF\xFF"));
  EXPECT_EQ(Content("0\\3"), L("\4\0\0\0\7\0\0\0\6\0\0\0\5\0\0\x80K\\M\0a\0bc\0\0"));
  EXPECT_EQ(Content("0\\4"), L("\4\0\0\0\3\0\0\0\4\0\0\0\1\0\0\x80K\\B\0\xDE\xAD\xBE\x0F"));
  EXPECT_EQ(Content("0\\5"), L("\4\0\0\0\3\0\0\0\2\0\0\0\1\0\0\x80K\\C\0\0\xFF"));
  EXPECT_EQ(Content("0\\6"), L("\4\0\0\0\7\0\0\0\1\0\0\0\1\0\0\x80K\\E\0\0"));
  EXPECT_EQ(Content("0\\7"), L("\4\0\0\0\4\0\0\0\4\0\0\0\1\0\0\x80K\\D\0\xFF\xFF\xFF\xFF"));
}

TEST_F(ManifestTest, OtherActionKindsFillTheirRecords) {
  tree_.Write("setup.js", "\xEF\xBB\xBFInstaller.Echo('\xC3\xA9');\n");
  ASSERT_TRUE(BuildActions(R"M(
{kind = "run", program = 'C:\p.exe', arguments = "/q", when = "after"},
{kind = "shortcut", path = 'M\D.lnk', target = "T", icon_index = -1, show = "minimized", hotkey = "ctrl+Alt+F12"},
{kind = "shortcut", path = "P", target = "T", arguments = "A", description = "D", icon = "I", working_folder = "W", show = 3, hotkey = 1604},
{kind = "service", name = "svc", program = 'C:\s.exe', start = "auto"},
{kind = "script", language = "JScript", file = "setup.js"},
{kind = "script", language = "VBScript", text = "x = 1"},
{kind = "type_library", path = "L.tlb", help_folder = 'C:\h'},
{kind = "copy_file", source = '${InstallerPath}\d.bin', destination = 'C:\d.bin', attributes = ["readonly"]},
{kind = "copy_folder", source = 'D:\x', destination = 'C:\x'},
{kind = "font", path = "f.ttf"},
{kind = "com_server", path = "s.dll"},
{kind = "run", program = "p"},
)M", kAnsiHead)) << Errors();
  EXPECT_EQ(Content("0\\0"), L("\5\0\0\0\1\0\0\0C:\\p.exe\0/q\0"));
  // 16-bit fields widened into 4-byte slots; texts: target, arguments, description, icon,
  // shortcut file, working folder.
  EXPECT_EQ(Content("0\\1"), L("\6\0\0\0\xFF\xFF\xFF\xFF\x7B\x06\0\0\7\0\0\0T\0\0\0\0M\\D.lnk\0\0"));
  EXPECT_EQ(Content("0\\2"), L("\6\0\0\0\0\0\0\0\x44\x06\0\0\3\0\0\0T\0A\0D\0I\0P\0W\0"));
  EXPECT_EQ(Content("0\\3"), L("\12\0\0\0\2\0\0\0svc\0svc\0\0C:\\s.exe\0"));  // display name defaults to name
  // A script file loses its byte-order mark and is stored in Windows-1252.
  EXPECT_EQ(Content("0\\4"), L("\7\0\0\0JScript\0Installer.Echo('\xE9');\n\0"));
  EXPECT_EQ(Content("0\\5"), L("\7\0\0\0VBScript\0x = 1\0"));
  EXPECT_EQ(Content("0\\6"), L("\3\0\0\0L.tlb\0C:\\h\0"));
  EXPECT_EQ(Content("0\\7"), L("\11\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\1\0\0\0C:\\d.bin\0"));
  EXPECT_EQ(Text("0\\7.p"), "${InstallerPath}\\d.bin");
  EXPECT_EQ(StorageOf("0\\7.p"), Storage::Solid);
  EXPECT_EQ(Content("0\\8"), L("\13\0\0\0C:\\x\0"));
  EXPECT_EQ(Text("0\\8.d"), "D:\\x");
  EXPECT_EQ(Content("0\\9"), L("\1\0\0\0f.ttf\0"));
  EXPECT_EQ(Content("0\\10"), L("\2\0\0\0s.dll\0"));
  EXPECT_EQ(Content("0\\11"), L("\5\0\0\0\0\0\0\0p\0\0"));
  // Only the bare program name is warned about, at its line.
  ASSERT_EQ(warnings_.size(), 1u);
  EXPECT_EQ(warnings_[0].line, 19);
  EXPECT_NE(warnings_[0].text.find("program 'p' has no folder"), std::string::npos) << warnings_[0].text;
}

TEST_F(ManifestTest, LanguagesOverrideEnglishAndFallBackToIt) {
  ASSERT_TRUE(Build(std::string(kAnsiHead) + R"M(
[[language]]
name = "Français"
id = 1036
controls = {IDCANCEL = "Annuler"}
strings = {space_format = "%s requis, %s libres (100%%)"}
[[language]]
id = 1033
controls = {IDOK = "Go"}
strings = {finished_message = "Done."}
)M")) << Errors();
  EXPECT_EQ(Text("l\\0\\name"), "English");
  EXPECT_EQ(Text("l\\0\\201.1"), "Go");
  EXPECT_EQ(Text("l\\0\\_4"), "Done.");
  EXPECT_EQ(Text("l\\0\\201.2"), "Cancel");
  // The shipped German table is complete: English changes do not reach it.
  EXPECT_EQ(Text("l\\1\\name"), "Deutsch");
  EXPECT_EQ(Text("l\\1\\id"), "1031");
  EXPECT_EQ(Text("l\\1\\201.1"), "&Installieren");
  EXPECT_EQ(Text("l\\1\\_7"), "Ben\xF6tigt: %s    Verf\xFCgbar: %s");
  EXPECT_EQ(Text("l\\2\\name"),
            "Fran\xE7"
            "ais");
  EXPECT_EQ(Text("l\\2\\id"), "1036");
  EXPECT_EQ(Text("l\\2\\201.2"), "Annuler");
  EXPECT_EQ(Text("l\\2\\_7"), "%s requis, %s libres (100%%)");
  // Missing texts come from English as the manifest changed it, even when changed later.
  EXPECT_EQ(Text("l\\2\\201.1"), "Go");
  EXPECT_EQ(Text("l\\2\\_4"), "Done.");
  ASSERT_EQ(warnings_.size(), 1u);
  EXPECT_NE(warnings_[0].text.find("IDOK"), std::string::npos);
  EXPECT_EQ(warnings_[0].line, 7);
  EXPECT_FALSE(Has("l\\3\\name"));
}

TEST_F(ManifestTest, ShippedGermanTableCanBeChangedOnce) {
  ASSERT_TRUE(Build(std::string(kHead) + R"M(
[[language]]
id = 1031
name = "Deutsch (Schweiz)"
controls = {IDCANCEL = "Abbruch"}
)M")) << Errors();
  EXPECT_EQ(Text("l\\1\\name"), "Deutsch (Schweiz)");
  EXPECT_EQ(Text("l\\1\\201.2"), "Abbruch");
  EXPECT_EQ(Text("l\\1\\201.1"), "&Installieren");
  EXPECT_TRUE(warnings_.empty());
  EXPECT_FALSE(Has("l\\25\\name"));
  EXPECT_FALSE(Build(std::string(kHead) + "[[language]]\nid = 1031\n[[language]]\nid = 1031\n"));
  EXPECT_NE(Errors().find("a language with this id is already defined"), std::string::npos) << Errors();
  EXPECT_FALSE(Build(std::string(kHead) + "[[language]]\nid = 1036\nname = \"Deutsch\"\n"));
  EXPECT_NE(Errors().find("a language with this name is already defined"), std::string::npos) << Errors();
}

TEST_F(ManifestTest, SameInputGivesSameEntries) {
  tree_.Write("f/a", "1");
  tree_.Write("f/b/c", "2");
  ASSERT_TRUE(BuildActions("{kind = \"files\", source = \"f\"}"));
  auto first = std::move(entries_);
  ASSERT_TRUE(BuildActions("{kind = \"files\", source = \"f\"}"));
  ASSERT_EQ(entries_.size(), first.size());
  for (const auto& [name, entry] : first) EXPECT_EQ(Content(name), entry.content) << name;
}

struct ErrorCase {
  const char* manifest;
  const char* place;    // "LINE:COL"
  const char* message;  // part of the message
};

TEST_F(ManifestTest, ErrorsNameFileLineAndProblem) {
  tree_.Write("not.rtf", "plain text");
  tree_.Write("bad.bmp", "BM too short");
  tree_.Write("a.txt", "a");
  tree_.Write("d/x.txt", "x");
  tree_.Write("d/y.txt", "y");
  // "@" stands for the product and component of kHead followed by "action = [".
  const ErrorCase cases[] = {
      {"[product\nname = 1", "1:9", "expected"},
      {"[product]\nname = 3\n[[component]]\nname = \"M\"", "2:8", "'name' must be a string, not an integer"},
      {"[product]\nlicense = \"x\"\nname = \"D\"\n[[component]]\nname = \"M\"", "2:1",
       "unknown key 'license' in [product] (did you mean 'licence'?)"},
      {"[product]\nversion = \"1\"\n[[component]]\nname = \"M\"", "1:1", "missing key 'name' in [product]"},
      {"[[component]]\nname = \"M\"", "1:1", "no [product] table"},
      {"[product]\nname = \"D\"", "1:1", "no [[component]]"},
      {"[product]\nname = \"D\"\nlicence = \"not.rtf\"\n[[component]]\nname = \"M\"", "3:11", "not an RTF file"},
      {"[product]\nname = \"D\"\nlogo = \"bad.bmp\"\n[[component]]\nname = \"M\"", "3:8", "not a Windows bitmap"},
      {"[product]\nname = \"D\"\nuninstaller = \"a.txt\"\n[[component]]\nname = \"M\"", "3:15", "no MZ header"},
      {"[product]\nname = \"D\"\nunattended = \"yes\"\n[[component]]\nname = \"M\"", "3:14", "true or false"},
      {"[product]\nname = \"D\"\nurl = \"\"\n[[component]]\nname = \"M\"", "3:7", "'url' must not be empty"},
      {"[product]\nname = \"D\"\nhelp_url = 7\n[[component]]\nname = \"M\"", "3:12", "'help_url' must be a string"},
      {"[product]\nname = \"D\"\nuninstaller_text = \"Bye\\r\\n3 C:\\\\keep.txt\"\n[[component]]\nname = \"M\"", "3:20",
       "'uninstaller_text' must be one line"},
      {"[product]\nname = \"D\"\nuninstaller_text = \"\"\"\nBye\nnow\"\"\"\n[[component]]\nname = \"M\"", "3:20",
       "no line breaks"},
      {"[product]\nname = \"D\"\ncompression = \"zstd\"\n[[component]]\nname = \"M\"", "3:15",
       "'compression' must be one of \"lzma\", \"block\""},
      {"@{kind = \"file\"}]", "5:19", "'kind' must be one of \"files\""},
      {"@{kind = \"files\", source = \"missing.txt\"}]", "5:37", "no file or folder 'missing.txt'"},
      {"@{kind = \"files\", source = \"*.none\"}]", "5:37", "matches no file"},
      {"@{kind = \"files\", source = \"d\", name = \"z\"}]", "5:49", "only allowed when 'source' is a single file"},
      {"@{kind = \"files\", source = \"a.txt\", destinaton = 'C:\\'}]", "5:46",
       "unknown key 'destinaton' in [[component.action]] (did you mean 'destination'?)"},
      {"@{kind = \"registry\", root = \"HKXX\", key = \"K\", data = 1}]", "5:38", "'root' must be one of \"HKLM\""},
      {"@{kind = \"registry\", root = \"HKLM\", key = \"K\", type = \"qword\", data = 1}]", "5:64",
       "'type' must be one of"},
      {"@{kind = \"registry\", root = \"HKLM\", key = \"K\", data = 4294967296}]", "5:64",
       "must lie between -2147483648 and 4294967295"},
      {"@{kind = \"registry\", root = \"HKLM\", key = \"K\", data = [\"a\", \"\"]}]", "5:70", "must not be empty"},
      {"@{kind = \"registry\", root = \"HKLM\", key = \"K\", type = \"binary\", data = \"abc\"}]", "5:81",
       "odd number of hex digits"},
      {"@{kind = \"registry\", root = \"HKLM\", key = \"K\", name = 'a\\b', data = 1}]", "5:64",
       "cannot contain a backslash"},
      {"@{kind = \"registry\", root = \"HKLM\", key = \"K\"}]", "5:11", "missing key 'data'"},
      {"@{kind = \"shortcut\", path = \"p\", target = \"t\", hotkey = \"Ctrl+Enter\"}]", "5:66", "'hotkey' must be"},
      {"@{kind = \"script\", language = \"JScript\"}]", "5:11", "exactly one of 'text' and 'file'"},
      {"@]\n[[language]]\nid = 1050\ncontrols = {IDOK = \"Instaliraj\"}", "6:1", "missing key 'name' in [[language]]"},
      {"@]\n[[language]]\nid = 1031\nname = \"English\"", "6:1", "a language with this name is already defined"},
      {"@]\n[[language]]\nid = 1033\ncontrols = {IDC_FOLDER = \"x\"}", "8:13", "takes no text"},
      {"@]\n[[language]]\nid = 1033\ncontrols = {IDC_FOLDERLABEL = \"x\"}", "8:13",
       "unknown control name 'IDC_FOLDERLABEL' (did you mean 'IDC_FOLDER_LABEL'?)"},
      {"@]\n[[language]]\nid = 1033\nstrings = {space_format = \"%s of %d\"}", "8:27", "only %s and %%"},
      {"@]\n[[language]]\nid = 1033\nstrings = {space_format = \"%s only\"}", "8:27", "exactly twice"},
      {"@]\n[[language]]\nid = 1033\nstrings = {installing = \"\"}", "8:25", "must not be empty"},
  };
  for (const ErrorCase& c : cases) {
    std::string manifest = c.manifest;
    if (manifest[0] == '@') manifest = std::string(kHead) + "action = [" + manifest.substr(1);
    EXPECT_FALSE(Build(manifest)) << manifest;
    ASSERT_FALSE(errors_.empty()) << manifest;
    std::string formatted = errors_[0].Format("error");
    std::string prefix = tree_.Path("setup.toml") + ":" + c.place + ": error: ";
    EXPECT_EQ(formatted.compare(0, prefix.size(), prefix), 0) << formatted << "\nexpected at " << c.place;
    EXPECT_NE(formatted.find(c.message), std::string::npos) << formatted << "\nexpected: " << c.message;
  }
}

TEST_F(ManifestTest, EveryErrorIsReportedNotJustTheFirst) {
  EXPECT_FALSE(Build("[product]\nnme = \"D\"\ncompany = 1\n[[component]]\nname = \"\"\n"));
  ASSERT_EQ(errors_.size(), 4u) << Errors();
  EXPECT_NE(errors_[0].text.find("missing key 'name'"), std::string::npos);
  EXPECT_NE(errors_[1].text.find("'company' must be a string"), std::string::npos);
  EXPECT_NE(errors_[2].text.find("unknown key 'nme'"), std::string::npos);
  EXPECT_NE(errors_[3].text.find("'name' must not be empty"), std::string::npos);
}

TEST_F(ManifestTest, FileNamesMustWorkOnWindows) {
  tree_.Write("w/a:b.txt", "x");
  tree_.Write("v/NUL.txt", "x");
  EXPECT_FALSE(BuildActions("{kind = \"files\", source = \"w\"}"));
  EXPECT_NE(Errors().find("cannot be used on Windows"), std::string::npos) << Errors();
  EXPECT_FALSE(BuildActions("{kind = \"files\", source = \"v\"}"));
  EXPECT_NE(Errors().find("reserved device name"), std::string::npos) << Errors();
}

}  // namespace

namespace {
// The button's label without its access key ("I &Agree", "同意する(&A)").
std::string Label(std::string text) {
  size_t open = text.find("(&");
  if (open != std::string::npos) text.erase(open);
  size_t amp = text.find('&');
  if (amp != std::string::npos) text.erase(amp, 1);
  return text;
}
}  // namespace

TEST_F(ManifestTest, TextsAreUtf8UnlessTheProductAsksForTheAnsiCodePage) {
  ASSERT_TRUE(Build("[product]\nname = \"Программа ソフト\"\n[[component]]\nname = \"Ελληνικά\"\naction = [\n"
                    "{kind = \"registry\", root = \"HKCU\", key = 'Software\\مفتاح', name = \"Πόλη\", data = \"Zürich → 東京\"},\n]\n"))
      << Errors();
  EXPECT_EQ(Text("ProductName"), "Программа ソフト");
  EXPECT_EQ(Text("0\\name"), "Ελληνικά");
  std::string record = Text("0\\0");
  EXPECT_NE(record.find("Software\\مفتاح\\Πόλη"), std::string::npos);
  EXPECT_NE(record.find("Zürich → 東京"), std::string::npos);
  EXPECT_EQ(Text("l\\21\\name"), "日本語");

  ASSERT_TRUE(Build("[product]\nname = \"Café\"\nencoding = \"ansi\"\n[[component]]\nname = \"Küche\"\n")) << Errors();
  EXPECT_EQ(Text("ProductName"), "Caf\xE9");
  EXPECT_EQ(Text("0\\name"), "K\xFC" "che");
  EXPECT_EQ(Text("l\\1\\201.224"), "Startmen\xFC-Ordner:") << "the shipped German table, as before";
  EXPECT_FALSE(Has("l\\2\\name"));

  // What cannot be stored is named with its place.
  const std::pair<const char*, const char*> bad[] = {
      {"[product]\nname = \"ソフト\"\nencoding = \"ansi\"\n[[component]]\nname = \"M\"\n",
       "setup.toml:2:8: error: 'name': the character U+30BD 'ソ' cannot be written in the Windows-1252 code page"},
      {"[product]\nname = \"a\\u0000b\"\n[[component]]\nname = \"M\"\n", "setup.toml:2:8: error: 'name' contains a zero character"},
      {"[product]\nname = \"P\"\n[[component]]\nname = \"x\\uD800\"\n", "setup.toml:4:"},
  };
  for (const auto& [manifest, error] : bad) {
    EXPECT_FALSE(Build(manifest));
    EXPECT_NE(Errors().find(error), std::string::npos) << Errors();
  }
  // A source file named in another code page has no UTF-8 name to install it under.
  tree_.Write("files/caf\xE9.txt", "x");
  EXPECT_FALSE(BuildActions("{kind = \"files\", source = \"files\"},\n"));
  EXPECT_NE(Errors().find("malformed UTF-8"), std::string::npos) << Errors();
}

TEST_F(ManifestTest, TwentyFiveLanguagesShipUnlessTheProductNamesSome) {
  ASSERT_TRUE(Build("[product]\nname = \"P\"\n[[component]]\nname = \"M\"\n")) << Errors();
  EXPECT_FALSE(Has("l\\25\\name"));
  std::map<std::string, std::string> ids, names;
  for (int n = 0; n < 25; ++n) {
    std::string l = "l\\" + std::to_string(n) + "\\";
    ASSERT_TRUE(Has(l + "name")) << n;
    EXPECT_TRUE(ids.emplace(Text(l + "id"), Text(l + "name")).second) << "id twice: " << Text(l + "id");
    EXPECT_TRUE(names.emplace(Text(l + "name"), Text(l + "id")).second) << "name twice: " << Text(l + "name");
    for (const char* key : {"201.1", "201.2", "201.5", "201.238", "201.222", "201.224", "201.226", "201.231", "201.228",
                            "201.239", "_4", "_5", "_6", "_7", "_8", "_9"})
      EXPECT_FALSE(Text(l + key).empty()) << Text(l + "name") << " " << key;
    EXPECT_NE(Text(l + "201.222").find("${ProductName}"), std::string::npos) << Text(l + "name");
    // The licence page tells the user which button to press: by the label it has.
    EXPECT_NE(Text(l + "201.239").find(Label(Text(l + "201.5"))), std::string::npos) << Text(l + "name");
    std::string problem;
    EXPECT_TRUE(LanguageTable::CheckSpaceFormat(Text(l + "_7"), &problem)) << Text(l + "name") << ": " << problem;
  }
  EXPECT_EQ(ids["1041"], "日本語");
  EXPECT_EQ(ids["1025"], "العربية");
  EXPECT_EQ(ids["2070"], "Português (Portugal)");
  EXPECT_EQ(ids["1028"], "中文(繁體)");

  // A subset keeps the shipped order, English first.
  ASSERT_TRUE(Build("[product]\nname = \"P\"\nlanguages = [\"ja\", \"en\", \"ar\"]\n[[component]]\nname = \"M\"\n"))
      << Errors();
  EXPECT_EQ(Text("l\\0\\id"), "1033");
  EXPECT_EQ(Text("l\\1\\id"), "1025");
  EXPECT_EQ(Text("l\\2\\id"), "1041");
  EXPECT_FALSE(Has("l\\3\\name"));

  const std::pair<const char*, const char*> bad[] = {
      {"languages = [\"en\", \"jp\"]", "setup.toml:3:20: error: unknown language code 'jp' (did you mean 'ja'?)"},
      {"languages = [\"de\", \"de\"]", "setup.toml:3:20: error: language 'de' is named twice"},
      {"languages = []", "setup.toml:3:13: error: 'languages' must be an array of language codes"},
      {"encoding = \"ansi\"\nlanguages = [\"fr\", \"ru\"]",
       "setup.toml:4:20: error: language 'ru' needs encoding = \"utf-8\": the character U+0420"},
  };
  for (const auto& [line, error] : bad) {
    EXPECT_FALSE(Build(std::string("[product]\nname = \"P\"\n") + line + "\n[[component]]\nname = \"M\"\n"));
    EXPECT_NE(Errors().find(error), std::string::npos) << Errors();
  }
}
