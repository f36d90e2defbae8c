// velpack verify run as the real binary on installers built with a real stub (VELMORA_VERIFY_STUB),
// each in its own throw-away Wine prefix.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <time.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "FileBytes.h"
#include "PackageFormat.h"
#include "PackageReader.h"
#include "PackageTestSupport.h"
#include "TextEncoding.h"
#include "VirtualDisplay.h"
#include "WinePrefix.h"
#include "WindowsImage.h"

namespace {

struct Result {
  int code = -1;
  std::string out, err;
  double seconds = 0;
};

std::string Quote(const std::string& s) {
  std::string quoted = "'";
  for (char c : s) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string ReadText(const std::string& path) {
  Bytes bytes = ScratchFolder::Read(path);
  return std::string(bytes.begin(), bytes.end());
}

void WriteText(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  ScratchFolder::Write(path, Bytes(text.begin(), text.end()));
}

Result Program(const ScratchFolder& folder, const std::vector<std::string>& argv) {
  std::string command;
  for (const std::string& arg : argv) command += Quote(arg) + " ";
  command += ">" + Quote(folder.File("stdout")) + " 2>" + Quote(folder.File("stderr"));
  timespec start, end;
  clock_gettime(CLOCK_MONOTONIC, &start);
  int status = std::system(command.c_str());
  clock_gettime(CLOCK_MONOTONIC, &end);
  Result result;
  result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = ReadText(folder.File("stdout"));
  result.err = ReadText(folder.File("stderr"));
  result.seconds = double(end.tv_sec - start.tv_sec) + double(end.tv_nsec - start.tv_nsec) / 1e9;
  return result;
}

Result Velpack(const ScratchFolder& folder, std::vector<std::string> args) {
  args.insert(args.begin(), VELPACK_BINARY);
  return Program(folder, args);
}

Architecture StubArchitecture() {
  std::vector<uint8_t> image;
  std::string problem;
  Architecture architecture = Architecture::kX86;
  EXPECT_TRUE(ReadFileBytes(std::getenv("VELMORA_VERIFY_STUB"), &image, &problem) &&
              ImageArchitecture(image, &architecture, &problem))
      << problem;
  return architecture;
}

// Builds an installer from a manifest with the stub under test, of the stub's kind; sources are
// written beside it.
std::string Build(const ScratchFolder& folder, const std::string& name, const std::string& manifest) {
  WriteText(folder.File(name + ".toml"), manifest);
  std::string installer = folder.File(name + ".exe");
  Result built = Velpack(folder, {"build", folder.File(name + ".toml"), "--stub", std::getenv("VELMORA_VERIFY_STUB"),
                                  "--architecture", ArchitectureName(StubArchitecture()), "-o", installer});
  EXPECT_EQ(built.code, 0) << built.err;
  return installer;
}

std::string Product(const std::string& name, const std::string& version, const std::string& actions) {
  return "[product]\nname = \"" + name + "\"\nversion = \"" + version + "\"\nunattended = true\n" +
         "start_menu = \"" + name + "\"\n\n[[component]]\nname = \"Program\"\n" + actions;
}

std::string Files(const std::string& source) {
  return "  [[component.action]]\n  kind = \"files\"\n  source = \"" + source + "\"\n";
}

// The product folder of an installer of this kind, as the report writes it.
const char kProgramFiles[] = "C:\\Program Files\\";

class Verify : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(std::getenv("VELMORA_VERIFY_STUB"), nullptr); }
  ScratchFolder folder_;
};

TEST_F(Verify, CleanProductPassesAndTheReportNamesWhatItInstalled) {
  WriteText(folder_.File("clean/readme.txt"), "Read me.\r\n");
  WriteText(folder_.File("clean/data/settings.ini"), "[verify]\r\nlevel=7\r\n");
  std::string installer = Build(folder_, "clean",
                                Product("Verify Clean", "1.0",
                                        Files("clean/*") + Files("clean/data") +
                                            "  [[component.action]]\n  kind = \"registry\"\n  root = \"HKCU\"\n"
                                            "  key = 'Software\\Verify Clean'\n  name = \"Level\"\n  data = 7\n"
                                            "  [[component.action]]\n  kind = \"registry\"\n  root = \"HKLM\"\n"
                                            "  key = 'Software\\Verify Clean'\n  name = \"Home\"\n"
                                            "  data = '${ProductPath}'\n"
                                            "  [[component.action]]\n  kind = \"shortcut\"\n"
                                            "  path = '${ProductMenu}\\Verify Clean.lnk'\n"
                                            "  target = '${ProductPath}\\readme.txt'\n  arguments = \"/quiet\"\n"));
  Result r = Velpack(folder_, {"verify", installer, "--json", folder_.File("report.json")});
  ASSERT_EQ(r.code, 0) << r.out << r.err;

  const std::string product = std::string(kProgramFiles) + "Verify Clean";
  EXPECT_NE(r.out.find("+ " + product + "\\readme.txt  10 bytes"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("+ " + product + "\\settings.ini"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("HKCU\\Software\\Verify Clean: Level = 7 (REG_DWORD)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("HKLM\\Software\\Verify Clean: Home = \"" + product + "\" (REG_SZ)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Verify Clean.lnk\n    -> " + product + "\\readme.txt /quiet"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("quoted; its program is there"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Left behind: 0"), std::string::npos) << r.out;
  // Each stage is announced on standard error as it starts.
  EXPECT_NE(r.err.find(" s  install: "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(" s  uninstall: "), std::string::npos) << r.err;

  nlohmann::json report = nlohmann::json::parse(ReadText(folder_.File("report.json")));
  EXPECT_EQ(report["result"], "clean");
  EXPECT_EQ(report["exit_code"], 0);
  EXPECT_TRUE(report["leftovers"]["files"].empty());
  EXPECT_TRUE(report["leftovers"]["values"].empty());
  // readme.txt, settings.ini, the log, the uninstaller and the shortcut, and their folders.
  int files = 0;
  for (const auto& f : report["installed"]["files"]) files += f["folder"] ? 0 : 1;
  EXPECT_EQ(files, 5) << report["installed"]["files"].dump(1);
  ASSERT_EQ(report["shortcuts"].size(), 1u);
  EXPECT_EQ(report["shortcuts"][0]["target"], product + "\\readme.txt");
  ASSERT_EQ(report["uninstall_entries"].size(), 1u);
  EXPECT_EQ(report["uninstall_entries"][0]["display_name"], "Verify Clean");
  EXPECT_TRUE(report["uninstall_entries"][0]["quoted"]);
  EXPECT_EQ(report["runs"].size(), 2u);
  EXPECT_EQ(report["runs"][1]["stage"], "uninstall");
  EXPECT_EQ(report["runs"][1]["exit_code"], 0);
}

TEST_F(Verify, LeftoversOfAScriptWritingOutsideTheLogAreNamed) {
  WriteText(folder_.File("leftover/readme.txt"), "Read me.\r\n");
  std::string installer =
      Build(folder_, "leftover",
            Product("Verify Leftover", "1.0",
                    Files("leftover/readme.txt") +
                        "  [[component.action]]\n  kind = \"script\"\n  language = \"JScript\"\n  text = '''\n"
                        "var files = Installer.CreateObject(\"Scripting.FileSystemObject\");\n"
                        "files.CreateTextFile(\"C:\\\\users\\\\Public\\\\verify-stray.txt\", true).Write(\"stray\");\n"
                        "var shell = Installer.CreateObject(\"WScript.Shell\");\n"
                        "shell.RegWrite(\"HKCU\\\\Software\\\\Verify Stray\\\\Note\", \"left\", \"REG_SZ\");\n"
                        "'''\n"));
  Result r = Velpack(folder_, {"verify", installer, "--json", folder_.File("report.json")});
  ASSERT_EQ(r.code, 1) << r.out << r.err;
  size_t left = r.out.find("Left behind: ");
  ASSERT_NE(left, std::string::npos) << r.out;
  std::string leftovers = r.out.substr(left);
  EXPECT_NE(leftovers.find("+ C:\\users\\Public\\verify-stray.txt  5 bytes"), std::string::npos) << leftovers;
  EXPECT_NE(leftovers.find("+ HKCU\\Software\\Verify Stray\n"), std::string::npos) << leftovers;
  EXPECT_NE(leftovers.find("+ HKCU\\Software\\Verify Stray: Note = \"left\" (REG_SZ)"), std::string::npos)
      << leftovers;
  // The product's own file went with the uninstall.
  EXPECT_EQ(leftovers.find("readme.txt"), std::string::npos) << leftovers;

  nlohmann::json report = nlohmann::json::parse(ReadText(folder_.File("report.json")));
  EXPECT_EQ(report["result"], "leftovers");
  ASSERT_EQ(report["leftovers"]["values"].size(), 1u);
  EXPECT_EQ(report["leftovers"]["values"][0]["key"], "HKCU\\Software\\Verify Stray");
  EXPECT_EQ(report["leftovers"]["values"][0]["value"], "Note");
}

// Installed for one user, the product changes nothing outside that user's part of the prefix.
TEST_F(Verify, CleanPerUserProductChangesOnlyTheUsersPart) {
  WriteText(folder_.File("mine/readme.txt"), "Read me.\r\n");
  std::string manifest = Product("Verify Mine", "1.0",
                                 Files("mine/readme.txt") +
                                     "  [[component.action]]\n  kind = \"registry\"\n  root = \"HKCU\"\n"
                                     "  key = 'Software\\Verify Mine'\n  name = \"Home\"\n  data = '${ProductPath}'\n"
                                     "  [[component.action]]\n  kind = \"shortcut\"\n"
                                     "  path = '${CommonProgramsMenu}\\Verify Mine.lnk'\n"
                                     "  target = '${ProductPath}\\readme.txt'\n");
  manifest.insert(manifest.find('\n') + 1, "scope = \"user\"\n");
  std::string installer = Build(folder_, "mine", manifest);
  Result r = Velpack(folder_, {"verify", installer, "--json", folder_.File("report.json")});
  ASSERT_EQ(r.code, 0) << r.out << r.err;

  nlohmann::json report = nlohmann::json::parse(ReadText(folder_.File("report.json")));
  EXPECT_EQ(report["result"], "clean");
  const std::string profile = "c:\\users\\";
  auto folded = [](std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
  };
  bool local = false;
  for (const auto& f : report["installed"]["files"]) {
    std::string path = folded(f["path"]);
    EXPECT_EQ(path.rfind(profile, 0), 0u) << path;
    local = local || path.find("\\appdata\\local\\programs\\verify mine\\readme.txt") != std::string::npos;
  }
  EXPECT_TRUE(local) << report["installed"]["files"].dump(1);
  for (const char* kind : {"keys", "values"})
    for (const auto& k : report["installed"][kind]) EXPECT_EQ(folded(k["key"]).rfind("hkcu\\", 0), 0u) << k.dump();
  ASSERT_EQ(report["uninstall_entries"].size(), 1u);
  EXPECT_EQ(folded(report["uninstall_entries"][0]["key"]),
            "hkcu\\software\\microsoft\\windows\\currentversion\\uninstall\\verify mine");
  EXPECT_TRUE(report["leftovers"]["files"].empty());
  EXPECT_TRUE(report["leftovers"]["keys"].empty());
  EXPECT_TRUE(report["leftovers"]["values"].empty());
}

// What lies outside drive C and the machine's and user's registry: the profile every new user
// starts from, and the host's files through drive Z: (which the write never reaches). The report's reader goes away before it is written (SIGPIPE), and verify still
// ends with its verdict and ends the prefix's programs.
TEST_F(Verify, TheDefaultProfileAndTheHostDriveAreWatchedAndAVanishedReaderEndsNothingEarly) {
  std::string installer = Build(folder_, "default",
                                Product("Verify Default", "1.0",
                                        R"(  [[component.action]]
  kind = "script"
  language = "JScript"
  text = '''
var shell = Installer.CreateObject("WScript.Shell");
shell.Run("reg add \"HKU\\.DEFAULT\\Software\\Verify Default\" /v Note /d left /f", 0, true);
var files = Installer.CreateObject("Scripting.FileSystemObject");
var beside = Installer.Variables("InstallerPath");
files.CreateTextFile(beside + "\\host-stray.txt", true).Write("host");
'''
)"));
  std::string command = "bash -c " + Quote(Quote(VELPACK_BINARY) + " verify " + Quote(installer) + " --json " +
                                           Quote(folder_.File("report.json")) + " --keep " +
                                           Quote(folder_.File("kept")) + " 2>" + Quote(folder_.File("stderr")) +
                                           " | true; exit ${PIPESTATUS[0]}");
  int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 1) << ReadText(folder_.File("stderr"));
  nlohmann::json report = nlohmann::json::parse(ReadText(folder_.File("report.json")));
  EXPECT_EQ(report["result"], "leftovers");
  ASSERT_EQ(report["leftovers"]["values"].size(), 1u) << report["leftovers"].dump(1);
  EXPECT_EQ(report["leftovers"]["values"][0]["key"], "HKU\\.DEFAULT\\Software\\Verify Default");
  EXPECT_EQ(report["leftovers"]["values"][0]["value"], "Note");
  EXPECT_TRUE(report["still_running"].empty());
  bool strayNamed = false;
  for (const auto& f : report["leftovers"]["files"])
    strayNamed = strayNamed || f["path"] == WinePrefix::DriveZPath(folder_.File("host-stray.txt"));
  EXPECT_TRUE(strayNamed) << report["leftovers"]["files"].dump(1);
  EXPECT_FALSE(std::filesystem::exists(folder_.File("host-stray.txt")));
  std::string probe = "WINEPREFIX=" + Quote(folder_.File("kept/prefix")) + " wineserver -k 2>/dev/null";
  EXPECT_NE(std::system(probe.c_str()), 0) << "a Wine server still ran for the prefix";
}

// Version 2 no longer carries old.txt: the upgrade must leave the product removable as a whole.
TEST_F(Verify, UpgradeThatDropsAFileLeavesNothingBehind) {
  WriteText(folder_.File("v1/kept.txt"), "kept 1\r\n");
  WriteText(folder_.File("v1/old.txt"), "dropped in 2\r\n");
  WriteText(folder_.File("v2/kept.txt"), "kept 2\r\n");
  std::string v1 = Build(folder_, "v1", Product("Verify Upgrade", "1.0", Files("v1/*")));
  std::string v2 = Build(folder_, "v2", Product("Verify Upgrade", "2.0", Files("v2/*")));
  Result r = Velpack(folder_, {"verify", v2, "--upgrade-from", v1});
  EXPECT_NE(r.out.find("install of the older version: "), std::string::npos) << r.out;
  EXPECT_EQ(r.code, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("Left behind: 0"), std::string::npos) << r.out;
}

class VerifyFailures : public Verify {};

// Refused before any prefix is made, each with its reason.
TEST_F(VerifyFailures, WhatCannotBeVerifiedIsRefusedAtOnceWithTheReason) {
  WriteText(folder_.File("damaged/big.txt"), std::string(100000, 'x') + "end");
  // In the block codec the file's bytes are an entry of their own, the one damaged here.
  std::string damagedManifest = Product("Verify Damaged", "1.0", Files("damaged/big.txt"));
  damagedManifest.insert(damagedManifest.find('\n') + 1, "compression = \"block\"\n");
  std::string installer = Build(folder_, "damaged", damagedManifest);
  Bytes image = ScratchFolder::Read(installer);
  {
    PackageReader reader(installer.c_str());
    const CatalogEntry* entry = reader.FindEntry("0\\0.f");
    ASSERT_NE(entry, nullptr);
    // The data area ends where the catalog starts, counted back from the trailer.
    size_t catalogStart = image.size() + size_t(int32_t(U32At(image, image.size() - 8)));
    size_t dataBase = catalogStart - U32At(image, image.size() - 12);
    image[dataBase + entry->offset + entry->packedSize / 2] ^= 0x55;
  }
  ScratchFolder::Write(folder_.File("damaged-copy.exe"), image);
  std::string wizardManifest = Product("Verify Wizard", "1.0", Files("damaged/big.txt"));
  wizardManifest.replace(wizardManifest.find("unattended = true"), 17, "unattended = false");
  std::string wizard = Build(folder_, "wizard", wizardManifest);
  // An older package: a wizard that ignores its command line.
  Bytes wizardImage = ScratchFolder::Read(wizard);
  wizardImage[wizardImage.size() - 3] &= uint8_t(~PackageFormat::kFlagReadsCommandLine);  // the trailer's package flags
  ScratchFolder::Write(wizard, wizardImage);

  struct Case {
    std::vector<std::string> args;
    std::string message;
    const char* path;  // PATH for velpack, when not its own
  } cases[] = {
      {{"verify", folder_.File("damaged-copy.exe")}, "the package is damaged: its entry 0\\0.f fails its check", nullptr},
      {{"verify", folder_.File("none.exe")}, "cannot open " + folder_.File("none.exe"), nullptr},
      {{"verify", folder_.File("damaged.toml")}, "not a Windows program", nullptr},
      {{"verify", wizard}, "shows its wizard and takes no /S switch", nullptr},
      {{"verify", installer, "--timeout", "0"}, "--timeout expects seconds from 1 to 86400, got 0", nullptr},
      {{"verify", installer, "--upgrade-from"}, "--upgrade-from needs a value", nullptr},
      {{"verify", installer}, "the Wine server is not installed: apt-get install wine", "/nonexistent"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    if (c.path) args.insert(args.begin(), {"env", std::string("PATH=") + c.path, VELPACK_BINARY});
    Result r = c.path ? Program(folder_, args) : Velpack(folder_, args);
    EXPECT_EQ(r.code, 2) << c.message;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_LT(r.seconds, 30) << c.message;
  }
}

// The install waits on a window nobody sees: the timeout ends it and every program of the
// prefix, and the run counts as failed. Its package reads its command line, so it runs with /S.
TEST_F(VerifyFailures, InstallThatWaitsIsEndedAtTheTimeout) {
  std::string installer = Build(folder_, "waits",
                                Product("Verify Waits", "1.0",
                                        "  [[component.action]]\n  kind = \"run\"\n"
                                        "  program = 'C:\\windows\\system32\\notepad.exe'\n"));
  Result r = Velpack(folder_, {"verify", installer, "--timeout", "15", "--json", folder_.File("report.json"),
                               "--keep", folder_.File("kept")});
  EXPECT_EQ(r.code, 2) << r.out << r.err;
  EXPECT_NE(r.err.find("install: \"" + WinePrefix::DriveZPath(installer) + "\" /S\n"), std::string::npos) << r.err;
  EXPECT_NE(r.out.find("FAILED: it did not end within 15 s"), std::string::npos) << r.out;
  nlohmann::json report = nlohmann::json::parse(ReadText(folder_.File("report.json")));
  EXPECT_EQ(report["result"], "failed");
  EXPECT_TRUE(report["runs"][0]["timed_out"]);
  EXPECT_TRUE(report["leftovers"].is_null());
  // --keep kept the prefix; no program of it runs any more.
  EXPECT_TRUE(std::filesystem::exists(folder_.File("kept/prefix/system.reg")));
  std::string probe = "WINEPREFIX=" + Quote(folder_.File("kept/prefix")) + " wineserver -k 2>/dev/null";
  EXPECT_NE(std::system(probe.c_str()), 0) << "a Wine server still ran for the prefix";
}

// The way verify runs programs in a prefix, on its own: exit codes arrive whole (the Linux side
// of Wine would see only their low byte), commands keep their characters, and paths are found
// without regard to case.
TEST(WinePrefixRuns, ExitCodesArriveWholeAndCommandsKeepTheirCharacters) {
  ScratchFolder folder;
  VirtualDisplay display;
  std::string error;
  ASSERT_TRUE(display.Start(&error)) << error;
  std::filesystem::create_directories(folder.File("wine"));
  WinePrefix prefix(folder.File("wine"), StubArchitecture(), display.Name());
  ASSERT_TRUE(prefix.Create(600, &error)) << error;
  ScratchFolder::Write(prefix.Path() + "/drive_c/users/Public/caf\xC3\xA9 & co.txt", Bytes{'x'});
  struct Case {
    const char* command;
    uint32_t code;
  } cases[] = {
      {"cmd /c exit 3010", 3010},
      {"cmd /c exit 256", 256},
      {"cmd /c exit -1073741819", 0xC0000005u},
      {"\"C:\\windows\\system32\\cmd.exe\" /c if exist \"C:\\users\\Public\\caf\xC3\xA9 & co.txt\" exit 7", 7},
      {"\"C:\\no such\\program.exe\" /S", 9009},
  };
  for (const Case& c : cases) {
    uint32_t code = 0;
    EXPECT_EQ(prefix.Run(c.command, 120, &code, &error), WinePrefix::Outcome::kExited) << c.command << ": " << error;
    EXPECT_EQ(code, c.code) << c.command;
  }
  EXPECT_TRUE(prefix.Settle(60));
  // A program left running is named before it is ended; Wine's own programs are not named.
  uint32_t code = 0;
  ASSERT_EQ(prefix.Run("cmd /c start C:\\windows\\system32\\notepad.exe", 120, &code, &error),
            WinePrefix::Outcome::kExited)
      << error;
  std::vector<std::string> running;
  EXPECT_FALSE(prefix.Settle(5, &running));
  ASSERT_EQ(running.size(), 1u);
  EXPECT_EQ(TextEncoding::FoldCase(running[0]), "c:\\windows\\system32\\notepad.exe");
  EXPECT_TRUE(prefix.Programs().empty());
  EXPECT_EQ(prefix.UnixPath("c:\\WINDOWS\\System32\\CMD.EXE"), prefix.Path() + "/drive_c/windows/system32/cmd.exe");
  EXPECT_EQ(prefix.UnixPath("C:\\windows\\no such file"), "");
  EXPECT_EQ(prefix.UnixPath("D:\\windows"), "");
}

}  // namespace
