// The engine over real packages under Wine: construction, sizes, the action records and the
// operations they share, against the real file system, registry and processes.
#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "Bstr.h"
#include "ChildProcess.h"
#include "InstallChecks.h"
#include "FolderSecurity.h"
#include "InstallEngine.h"
#include "SystemFolders.h"

namespace {

std::string S(const Text& text) { return std::string(text.Data(), text.Length()); }
Text T(const std::string& s) { return Text(s.data(), uint32_t(s.size())); }

std::string PackageDir() { return WindowsPath(EnvironmentValue("VELMORA_ENGINE_PACKAGES")); }
std::string Package(const char* name) { return PackageDir() + "\\" + name; }

class TestEngine : public InstallEngine {
 public:
  explicit TestEngine(const char* package) : InstallEngine(Package(package).c_str()) {}

  void PumpMessages() override { ++pumped; }
  void OnProgress(const Text& item, int percent) override {
    progressItem = S(item);
    percents.push_back(percent);
  }
  std::string Log() const {
    Text file;
    EXPECT_TRUE(logText.Render(productName, &file));
    return S(file);
  }
  std::string Expanded(const std::string& s) {
    Text text = T(s);
    ExpandText(text);
    return S(text);
  }

  using InstallEngine::addedFolder;
  using InstallEngine::components;
  using InstallEngine::deferredPrograms;
  using InstallEngine::doneKb;
  using InstallEngine::installerPath;
  using InstallEngine::noUninstaller;
  using InstallEngine::productName;
  using InstallEngine::productPath;
  using InstallEngine::tempFiles;
  using InstallEngine::tempPath;

  int pumped = 0;
  std::string progressItem;
  std::vector<int> percents;
};

void Write(const std::string& path, const std::string& bytes) {
  ASSERT_TRUE(WriteFileBytes(path, std::vector<unsigned char>(bytes.begin(), bytes.end()))) << path;
}

TEST(InstallEngineData, ProductDataComponentsAndVariables) {
  TestEngine engine("engine-data.exe");
  ASSERT_GT(engine.EntryCount(), 0u);
  // Flags entries exist for components 0, 1 and 3: the gap at 2 ends the list.
  ASSERT_EQ(engine.components.Count(), 2u);
  const Component& core = engine.components[0];
  const Component& extra = engine.components[1];
  EXPECT_EQ(S(core.name) + "|" + S(core.description) + "|" + S(extra.name) + "|" + S(extra.description),
            "Core|Core files|Extra|");
  EXPECT_TRUE(core.listed && core.selected && !extra.listed && extra.selected);
  // A one-byte flags entry.
  EXPECT_EQ(engine.ProductFlags(), 5u);
  EXPECT_FALSE(engine.noUninstaller);

  std::string programs = S(engine.GetVariable("ProgramsPath"));
  EXPECT_EQ(programs, "C:\\Program Files");
  EXPECT_EQ(S(engine.productPath), programs + "\\Velmora Engine Data");
  EXPECT_EQ(S(engine.GetVariable("ProductPath")), "${ProgramsPath}\\Velmora Engine Data");
  EXPECT_EQ(engine.Expanded("${UninstallCommand} ${UninstallLog}"),
            programs + "\\Velmora Engine Data\\Uninst.exe " + programs + "\\Velmora Engine Data\\Uninst.log");
  EXPECT_EQ(S(engine.addedFolder), "Added 3.1");
  EXPECT_EQ(engine.Expanded("${ProductName}|${CompanyName}|${ProductVersion}|${ProductMenu}"),
            "Velmora Engine Data|Velmora Tests|3.1|");
  EXPECT_EQ(S(engine.installerPath), PackageDir());
  EXPECT_EQ(S(engine.GetVariable("InstallerPath")), PackageDir());
  EXPECT_EQ(S(engine.GetVariable("CommonFiles")), programs + "\\Common Files");
  EXPECT_EQ(engine.Expanded("${QuickLaunch}"), S(engine.GetVariable("UserAppData")) + "\\Microsoft\\Internet Explorer");
  EXPECT_FALSE(engine.GetVariable("UserAppData").Empty());

  // The run's own temporary folder, checked below.
  EXPECT_EQ(S(engine.GetVariable("TempPath")), S(engine.tempPath));

  // A replaced value keeps its place in the order; a new name comes last.
  engine.SetVariable("ProductPath", "${ProgramsPath}\\Other");
  EXPECT_EQ(engine.Expanded("${UninstallCommand}"), programs + "\\Other\\Uninst.exe");
  engine.SetVariable("Zeta", "${ProductName}/${Zeta}");
  EXPECT_EQ(engine.Expanded("${Zeta}"), "${ProductName}/${Zeta}");
  EXPECT_EQ(S(engine.GetVariable("zeta")), "");

  // Without the wizard: the default Start-menu folder below the menu "UserMenu" names, its
  // leading backslashes dropped.
  engine.UseDefaultMenu();
  EXPECT_EQ(S(engine.GetVariable("ProductMenu")), "${CommonProgramsMenu}\\Velmora Engine Data Menu");

  BSTR text = SysAllocString(L"${ProductVersion} at ${Missing}");
  engine.ExpandBstr(&text);
  EXPECT_STREQ(text, L"3.1 at ${Missing}");
  SysFreeString(text);
}

TEST(InstallEngineData, SizesCountSideEntriesInKilobytes) {
  TestEngine engine("engine-data.exe");
  // 1023 + 1024 + 2047 bytes give 0 + 1 + 1; ".f" before ".p" gives 3 (not 10); the ".p" file 5;
  // the nested ".d" tree 2 + 0 + 1; a missing ".d" folder 0.
  EXPECT_EQ(engine.ComponentSizeKb(0), 13u);
  // No action 0: the record 1\1 is not counted.
  EXPECT_EQ(engine.ComponentSizeKb(1), 0u);
  EXPECT_EQ(engine.ComponentSizeKb(7), 0u);
  EXPECT_EQ(engine.RequiredSpaceKb(), 13u + 11u);
  engine.components[0].selected = false;
  EXPECT_EQ(engine.RequiredSpaceKb(), 11u);

  EXPECT_EQ(engine.FolderSizeKb(T(PackageDir() + "\\external\\tree\\\\")), 3u);
  EXPECT_EQ(engine.FolderSizeKb("${InstallerPath}\\external\\tree"), 3u);
  EXPECT_EQ(engine.FolderSizeKb(T(PackageDir() + "\\external\\only-empty")), 0u);
  EXPECT_EQ(engine.FolderSizeKb(T(PackageDir() + "\\external\\missing")), 0u);

  // No "uninst.exe": nothing added for it.
  TestEngine actions("engine-actions.exe");
  EXPECT_TRUE(actions.noUninstaller);
  EXPECT_EQ(actions.RequiredSpaceKb(), 5u);
}

TEST(InstallEngineData, FreeSpaceIsThatOfTheDriveOrNetworkPath) {
  TestEngine engine("engine-data.exe");
  ULARGE_INTEGER available, total, free;
  ASSERT_TRUE(GetDiskFreeSpaceExA("C:\\", &available, &total, &free));
  uint64_t expected = available.QuadPart >> 10;
  uint32_t deep = engine.FreeSpaceKb("C:\\Velmora\\no such\\folder");
  uint32_t drive = engine.FreeSpaceKb("C:");
  EXPECT_GT(deep, 0u);
  // Other tests write meanwhile: the same drive within 256 MB.
  EXPECT_LT(deep > expected ? deep - expected : expected - deep, 262144u);
  EXPECT_LT(deep > drive ? deep - drive : drive - deep, 262144u);
  // Wine has no network drives: the share's own free space cannot be read.
  EXPECT_EQ(engine.FreeSpaceKb("\\\\server\\share\\folder"), 0u);
  EXPECT_EQ(engine.FreeSpaceKb("Q:\\nowhere"), 0u);
}

TEST(InstallEngineActions, RecordsRunInOrderAndBadOnesFailAlone) {
  const char kKey[] = "Software\\Velmora Engine Actions";
  Scratch scratch("C:\\Velmora Engine Actions", HKEY_CURRENT_USER, kKey);
  DeleteServiceNamed("VelmoraEngineActions");
  TestEngine engine("engine-actions.exe");
  engine.RunComponentActions(0);
  engine.RunComponentActions(1);
  // The service record creates a real service (its program need not exist).
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\VelmoraEngineActions"));
  DeleteServiceNamed("VelmoraEngineActions");
  EXPECT_EQ(engine.Log(),
            "Velmora Engine Actions\r\n"
            "6 HKCU\\Software\\Velmora Engine Actions\\After\r\n"
            "3 C:\\Velmora Engine Actions\\copied\\five.bin\r\n"
            "2 C:\\Velmora Engine Actions\\copied\r\n"
            "3 C:\\Velmora Engine Actions\\tree\\a\\b\\deep.txt\r\n"
            "2 C:\\Velmora Engine Actions\\tree\\a\\b\r\n"
            "2 C:\\Velmora Engine Actions\\tree\\a\r\n"
            "2 C:\\Velmora Engine Actions\\tree\r\n"
            "8 VelmoraEngineActions\r\n"
            "6 HKCU\\Software\\Velmora Engine Actions\\Bare\r\n"
            "6 HKCU\\Software\\Velmora Engine Actions\\Multi\r\n"
            "3 C:\\Velmora Engine Actions\\ok\\file.txt\r\n"
            "2 C:\\Velmora Engine Actions\\ok\r\n"
            "2 C:\\Velmora Engine Actions\r\n"
            "6 HKCU\\Software\\Velmora Engine Actions\\Count\r\n"
            "6 HKCU\\Software\\Velmora Engine Actions\\\r\n"
            "5 HKCU\\Software\\Velmora Engine Actions\r\n");
  EXPECT_EQ(engine.pumped, 16);

  // A record without its ".f" creates nothing; nor does component 1, which lacks action 0.
  EXPECT_FALSE(Exists("C:\\Velmora Engine Actions\\missing"));
  EXPECT_FALSE(Exists("C:\\Velmora Engine Actions\\never.txt"));
  EXPECT_FALSE(Exists("C:\\Velmora Engine Actions\\nowhere.bin"));
  EXPECT_FALSE(Exists("C:\\Velmora Engine Actions\\nowhere"));
  EXPECT_FALSE(Exists("C:\\Velmora Engine Actions\\tree\\empty"));

  std::string file = "C:\\Velmora Engine Actions\\ok\\file.txt";
  EXPECT_EQ(Contents(file), "hello");
  EXPECT_EQ(Attributes(file), DWORD(FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(LastWrite(file), FileTime(2005, 6, 7, 8, 9, 10));
  std::string copied = "C:\\Velmora Engine Actions\\copied\\five.bin";
  EXPECT_EQ(Contents(copied), std::string(5125, 'f'));
  EXPECT_EQ(Attributes(copied), DWORD(FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(LastWrite(copied), FileTime(2005, 6, 7, 8, 9, 10));
  EXPECT_EQ(Contents("C:\\Velmora Engine Actions\\tree\\a\\b\\deep.txt"), "deep");
  // The package's file is 5 bytes (0 KB), the copied one 5125 bytes.
  EXPECT_EQ(engine.doneKb, 5u);

  using Value = RegistryData;
  EXPECT_EQ(RegistryValue(HKEY_CURRENT_USER, kKey, ""),
            Value(REG_SZ, std::string("default of Velmora Engine Actions\0", 34)));
  EXPECT_EQ(RegistryValue(HKEY_CURRENT_USER, kKey, "Count"), Value(REG_DWORD, std::string("\x2a\0\0\0", 4)));
  EXPECT_EQ(RegistryValue(HKEY_CURRENT_USER, kKey, "Multi"),
            Value(REG_MULTI_SZ, std::string("Velmora Engine Actions\0aC:\\Velmora Engine Actions" "b\0\0", 52)));
  EXPECT_EQ(RegistryValue(HKEY_CURRENT_USER, kKey, "Bare").second.substr(0, 3), "abc");
  EXPECT_EQ(RegistryValue(HKEY_CURRENT_USER, kKey, "Bogus").second, "<missing>");
  EXPECT_EQ(RegistryValue(HKEY_CURRENT_USER, kKey, "Unterminated").second, "<missing>");
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "NoBackslash"));
  EXPECT_EQ(S(InstallEngine::RegistryRootPrefix(0x80000000u)) + S(InstallEngine::RegistryRootPrefix(0x80000002u)) +
                S(InstallEngine::RegistryRootPrefix(0x80000005u)) + S(InstallEngine::RegistryRootPrefix(0x80000003u)),
            "HKCR\\HKLM\\HKCC\\???");

  // The waited program with a command line over the limit was never started.
  EXPECT_FALSE(Exists("C:\\Velmora Engine Actions\\toolong.txt"));
  ASSERT_EQ(engine.deferredPrograms.Count(), 2u);
  EXPECT_FALSE(Exists("C:\\Velmora Engine Actions\\deferred.txt"));
  engine.RunDeferredPrograms();
  ASSERT_TRUE(WaitForFile("C:\\Velmora Engine Actions\\deferred.txt"));
  EXPECT_EQ(Contents("C:\\Velmora Engine Actions\\deferred.txt"),
            "\"" + PackageDir() + "\\MarkerWriter.exe\" \"C:\\Velmora Engine Actions\\deferred.txt\" 0");
}

class InstallEngineDirect : public ::testing::Test {
 protected:
  static constexpr const char* kRoot = "C:\\Velmora Engine Direct";
  std::string Path(const std::string& rest) { return scratch.In(rest); }
  HRESULT Copy(TestEngine& engine, const std::string& from, const std::string& to) {
    return engine.CopyFile(Bstr(T(from)).Get(), Bstr(T(to)).Get());
  }
  Scratch scratch{kRoot, HKEY_CURRENT_USER, "Software\\Velmora Engine Direct"};
  TestEngine engine{"engine-actions.exe"};
};

TEST_F(InstallEngineDirect, CreateFoldersLogsOnlyFoldersItCreated) {
  engine.CreateFolders(T(Path("a/b\\c\\file.txt")));
  EXPECT_TRUE(Exists(Path("a\\b\\c")));
  EXPECT_FALSE(Exists(Path("a\\b\\c\\file.txt")));
  engine.CreateFolders(T(Path("a\\b\\other.txt")));
  engine.CreateFolders(T(Path("x\\y\\")));
  EXPECT_TRUE(Exists(Path("x\\y")));
  EXPECT_EQ(engine.Log(),
            "Velmora Engine Actions\r\n"
            "2 C:\\Velmora Engine Direct\\x\\y\r\n"
            "2 C:\\Velmora Engine Direct\\x\r\n"
            "2 C:\\Velmora Engine Direct\\a/b\\c\r\n"
            "2 C:\\Velmora Engine Direct\\a/b\r\n"
            "2 C:\\Velmora Engine Direct\\a\r\n"
            "2 C:\\Velmora Engine Direct\r\n");
}

TEST_F(InstallEngineDirect, CreateFoldersNoticesAFolderRemovedSinceTheLastFile) {
  engine.CreateFolders(T(Path("a\\b\\one.txt")));
  ASSERT_TRUE(RemoveDirectoryA(Path("a\\b").c_str()));
  engine.CreateFolders(T(Path("a\\b\\two.txt")));
  EXPECT_TRUE(Exists(Path("a\\b")));
  // Made twice, the folder is logged twice, but the log names it once.
  // A sibling of the last folder shares only its parent.
  engine.CreateFolders(T(Path("a\\c\\three.txt")));
  EXPECT_TRUE(Exists(Path("a\\c")));
  EXPECT_EQ(engine.Log(),
            "Velmora Engine Actions\r\n"
            "2 C:\\Velmora Engine Direct\\a\\c\r\n"
            "2 C:\\Velmora Engine Direct\\a\\b\r\n"
            "2 C:\\Velmora Engine Direct\\a\r\n"
            "2 C:\\Velmora Engine Direct\r\n");
}

TEST_F(InstallEngineDirect, StartProgramDeliversTheExitCodeOnlyAfterAWait) {
  CreateDirectoryA(kRoot, nullptr);
  std::string program = PackageDir() + "\\MarkerWriter.exe";
  std::string marker = Path("marker.txt");
  DWORD code = 1234;
  ASSERT_TRUE(engine.StartProgram(T(program), T("\"" + marker + "\" 42"), true, &code));
  EXPECT_EQ(code, 42u);
  EXPECT_EQ(Contents(marker), "\"" + program + "\" \"" + marker + "\" 42");

  // Without waiting no exit code is delivered.
  code = 1234;
  std::string later = Path("later.txt");
  ASSERT_TRUE(engine.StartProgram(T(program), T("\"" + later + "\" 5"), false, &code));
  EXPECT_EQ(code, 1234u);
  EXPECT_TRUE(WaitForFile(later));

  EXPECT_FALSE(engine.StartProgram(T(Path("no such program.exe")), "", true, &code));
}

TEST_F(InstallEngineDirect, StartProgramLooksForABareNameInTheSystemFolderOnly) {
  CreateDirectoryA(kRoot, nullptr);
  // Planted in the current folder, which the platform's own search tries before the system folder.
  ASSERT_TRUE(CopyFileA((PackageDir() + "\\MarkerWriter.exe").c_str(), Path("velmora-planted.exe").c_str(), FALSE));
  std::string marker = Path("planted.txt");
  char previous[MAX_PATH];
  ASSERT_NE(GetCurrentDirectoryA(MAX_PATH, previous), 0u);
  ASSERT_TRUE(SetCurrentDirectoryA(kRoot));
  DWORD code = 1234;
  bool started = engine.StartProgram("velmora-planted.exe", T("\"" + marker + "\""), true, &code);
  SetCurrentDirectoryA(previous);
  EXPECT_FALSE(started);
  EXPECT_FALSE(Exists(marker));

  EXPECT_TRUE(engine.StartProgram("cmd.exe", "/c exit 7", true, &code));
  EXPECT_EQ(code, 7u);
}

int g_timerTicks = 0;
HANDLE g_signalOnThirdTick = nullptr;

LRESULT CALLBACK TickWindow(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_TIMER && ++g_timerTicks == 3 && g_signalOnThirdTick) SetEvent(g_signalOnThirdTick);
  return DefWindowProcA(window, message, w, l);
}

TEST_F(InstallEngineDirect, WaitWithMessagesDispatchesUntilSignalOrTimeOut) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = TickWindow;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "VelmoraTickWindow";
  RegisterClassA(&windowClass);
  HWND window = CreateWindowA("VelmoraTickWindow", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(window, nullptr);
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  SetTimer(window, 1, 10, nullptr);

  // Messages keep arriving: the finite time-out still ends the wait.
  g_timerTicks = 0;
  EXPECT_EQ(InstallEngine::WaitWithMessages(event, 300), DWORD(WAIT_TIMEOUT));
  EXPECT_GT(g_timerTicks, 0);

  // The handle signalled from a dispatched message ends an endless wait.
  g_timerTicks = 0;
  g_signalOnThirdTick = event;
  EXPECT_EQ(InstallEngine::WaitWithMessages(event, INFINITE), DWORD(WAIT_OBJECT_0));
  EXPECT_GE(g_timerTicks, 3);
  g_signalOnThirdTick = nullptr;
  EXPECT_EQ(InstallEngine::WaitWithMessages(event, 0), DWORD(WAIT_OBJECT_0));

  KillTimer(window, 1);
  DestroyWindow(window);
  CloseHandle(event);
}

TEST_F(InstallEngineDirect, CopyFileReportsProgressCountsAndLogs) {
  CreateDirectoryA(kRoot, nullptr);
  Write(Path("5000.bin"), std::string(5000, '5'));
  ASSERT_EQ(Copy(engine, Path("5000.bin"), Path("out\\5000.bin")), S_OK);
  EXPECT_EQ(Contents(Path("out\\5000.bin")), std::string(5000, '5'));
  EXPECT_EQ(engine.percents, (std::vector<int>{40, 80, 100}));
  EXPECT_EQ(engine.progressItem, Path("out\\5000.bin"));
  EXPECT_EQ(engine.doneKb, 4u);

  std::string big(300000, 0);
  for (size_t i = 0; i < big.size(); ++i) big[i] = char(i * 7);
  Write(Path("big.bin"), big);
  engine.percents.clear();
  ASSERT_EQ(Copy(engine, "${ProductPath}\\..\\Velmora Engine Direct\\big.bin", Path("out\\big.bin")), S_OK);
  EXPECT_EQ(Contents(Path("out\\big.bin")), big);
  ASSERT_EQ(engine.percents.size(), 150u);
  EXPECT_EQ(engine.percents[0], 0);
  EXPECT_EQ(engine.percents[74], 50);
  EXPECT_EQ(engine.percents.back(), 100);
  EXPECT_EQ(engine.doneKb, 4u + 292u);

  // An existing destination is replaced.
  Write(Path("out\\old.bin"), "old");
  ASSERT_EQ(Copy(engine, Path("5000.bin"), Path("out\\old.bin")), S_OK);
  EXPECT_EQ(Contents(Path("out\\old.bin")), std::string(5000, '5'));

  // An empty source is copied like any other; a missing one copies nothing, but the
  // destination's folders are made.
  Write(Path("empty.bin"), "");
  engine.percents.clear();
  EXPECT_EQ(Copy(engine, Path("empty.bin"), Path("empty dest\\empty.bin")), S_OK);
  EXPECT_EQ(Contents(Path("empty dest\\empty.bin")), "");
  EXPECT_EQ(engine.percents, std::vector<int>{100});
  EXPECT_EQ(Copy(engine, Path("absent.bin"), Path("absent dest\\absent.bin")), E_INVALIDARG);
  EXPECT_TRUE(Exists(Path("absent dest")));
  EXPECT_FALSE(Exists(Path("absent dest\\absent.bin")));
  // Source and destination the same file: refused, the file stays as it was.
  EXPECT_EQ(Copy(engine, Path("5000.bin"), Path("5000.bin")), E_INVALIDARG);
  EXPECT_EQ(Contents(Path("5000.bin")), std::string(5000, '5'));
  EXPECT_EQ(engine.doneKb, 4u + 292u + 4u);

  EXPECT_EQ(engine.Log(),
            "Velmora Engine Actions\r\n"
            "2 C:\\Velmora Engine Direct\\absent dest\r\n"
            "3 C:\\Velmora Engine Direct\\empty dest\\empty.bin\r\n"
            "2 C:\\Velmora Engine Direct\\empty dest\r\n"
            "3 C:\\Velmora Engine Direct\\out\\old.bin\r\n"
            "3 C:\\Velmora Engine Direct\\out\\big.bin\r\n"
            "3 C:\\Velmora Engine Direct\\out\\5000.bin\r\n"
            "2 C:\\Velmora Engine Direct\\out\r\n");
}

TEST_F(InstallEngineDirect, FolderWalksEndAtLinksBackAndAtTheirDepth) {
  const std::string loop = PackageDir() + "\\external\\loop";
  EXPECT_EQ(engine.FolderSizeKb(T(loop)), 3u);
  EXPECT_EQ(engine.CopyFolder(Bstr(T(loop)).Get(), Bstr(T(Path("loop"))).Get()), S_OK);
  EXPECT_EQ(Contents(Path("loop\\one.bin")), std::string(1024, 'l'));
  EXPECT_EQ(Contents(Path("loop\\inner\\two.bin")), std::string(2048, 'l'));
  EXPECT_FALSE(Exists(Path("loop\\again")));
  EXPECT_FALSE(Exists(Path("loop\\inner\\back")));

  // The source folder and 31 levels below it are walked.
  std::string levels;
  for (int level = 1; level <= 31; ++level) levels += "\\" + std::to_string(level);
  const std::string deep = PackageDir() + "\\external\\deep";
  EXPECT_EQ(engine.CopyFolder(Bstr(T(deep)).Get(), Bstr(T(Path("deep"))).Get()), S_OK);
  EXPECT_EQ(Contents(Path("deep" + levels + "\\f.txt")), "31");
  EXPECT_FALSE(Exists(Path("deep" + levels + "\\32")));
}

// The access rules of a security descriptor's DACL as "SID mask flags", and whether it is
// protected from inheritance.
std::vector<std::string> AccessRules(PSECURITY_DESCRIPTOR descriptor, bool* isProtected) {
  std::vector<std::string> rules;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  if (!descriptor || !GetSecurityDescriptorControl(descriptor, &control, &revision) ||
      !GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !dacl)
    return {"<none>"};
  *isProtected = (control & SE_DACL_PROTECTED) != 0;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    char* sid = nullptr;
    if (!GetAce(dacl, i, reinterpret_cast<void**>(&ace)) || ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE ||
        !ConvertSidToStringSidA(&ace->SidStart, &sid))
      continue;
    char text[40];
    snprintf(text, sizeof(text), " %lx %x", static_cast<unsigned long>(ace->Mask), ace->Header.AceFlags);
    rules.push_back(sid + std::string(text));
    LocalFree(sid);
  }
  LocalFree(descriptor);
  return rules;
}

// Wine keeps no security descriptor of a folder (it reads back its default: the system and the
// user with full control, unprotected), so the descriptor the folders are made with is checked.
TEST_F(InstallEngineDirect, AProductFolderOutsideTheProgramsFolderGetsItsProtection) {
  bool isProtected = false;
  EXPECT_EQ(AccessRules(FolderSecurity::Describe(FolderSecurity::kProtected), &isProtected),
            (std::vector<std::string>{"S-1-5-18 1f01ff 3", "S-1-5-32-544 1f01ff 3", "S-1-5-32-545 1200a9 3"}));
  EXPECT_TRUE(isProtected);

  // Made with it or not, the folder is made and logged like any other.
  CreateDirectoryA(kRoot, nullptr);
  engine.productPath = T(Path("product"));
  engine.CreateFolders(T(Path("product\\sub\\file.txt")));
  EXPECT_TRUE(Exists(Path("product\\sub")));
  Scratch programs(SystemFolders::ProgramFiles().CStr() + std::string("\\Velmora Engine Protected"),
                   HKEY_CURRENT_USER, "Software\\Velmora Engine Protected");
  engine.productPath = T(programs.Folder());
  engine.CreateFolders(T(programs.In("file.txt")));
  EXPECT_TRUE(Exists(programs.Folder()));
  EXPECT_EQ(engine.Log(),
            "Velmora Engine Actions\r\n"
            "2 " + programs.Folder() + "\r\n"
            "2 C:\\Velmora Engine Direct\\product\\sub\r\n"
            "2 C:\\Velmora Engine Direct\\product\r\n");
}

TEST(InstallEngineTemp, EachRunHasATemporaryFolderOfItsOwnThatGoesWithIt) {
  std::string folder;
  {
    TestEngine first("engine-actions.exe");
    TestEngine second("engine-actions.exe");
    folder = S(first.tempPath);
    std::string system = S(SystemFolders::Temp());
    EXPECT_EQ(first.Expanded("${TempPath}"), folder);
    EXPECT_EQ(folder.rfind(system + "\\Velmora-", 0), 0u) << folder;
    EXPECT_NE(S(second.tempPath), folder);
    ASSERT_TRUE(Exists(folder));
    bool isProtected = false;
    const std::string user = S(FolderSecurity::UserSid());
    EXPECT_EQ(AccessRules(FolderSecurity::Describe(FolderSecurity::kPrivate), &isProtected),
              (std::vector<std::string>{"S-1-5-18 1f01ff 3", "S-1-5-32-544 1f01ff 3", user + " 1f01ff 3"}));
    EXPECT_TRUE(isProtected);
    ASSERT_TRUE(CreateDirectoryA((folder + "\\inner").c_str(), nullptr));
    Write(folder + "\\inner\\kept.txt", "kept");
    SetFileAttributesA((folder + "\\inner\\kept.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  }
  EXPECT_FALSE(Exists(folder));
}

// Under the C++ ABI of gcc and clang a pointer to a virtual member holds its slot's offset plus one.
template <typename Member>
size_t Slot(Member member) {
  ptrdiff_t raw;
  memcpy(&raw, &member, sizeof(raw));
  return size_t(raw - 1) / sizeof(void*);
}

// The direct-call slots are what install actions use: the two overloads must keep their order.
TEST(InstallerObjectLayout, VariablesReadAndWriteTakeSlots16And17) {
  typedef HRESULT(STDMETHODCALLTYPE IInstallerObject::*ReadVariable)(BSTR, BSTR*);
  typedef HRESULT(STDMETHODCALLTYPE IInstallerObject::*WriteVariable)(BSTR, BSTR);
  EXPECT_EQ(Slot(&IInstallerObject::VersionMajor), 7u);
  EXPECT_EQ(Slot(static_cast<ReadVariable>(&IInstallerObject::Variables)), 16u);
  EXPECT_EQ(Slot(static_cast<WriteVariable>(&IInstallerObject::Variables)), 17u);
  EXPECT_EQ(Slot(&IInstallerObject::AddRegKey), 20u);
}

TEST_F(InstallEngineDirect, AutomationIdentity) {
  IInstallerObject* object = &engine;
  void* found = nullptr;
  for (const IID* iid : {&IID_IUnknown, &IID_IDispatch, &IID_IInstallerObject}) {
    found = nullptr;
    EXPECT_EQ(object->QueryInterface(*iid, &found), S_OK);
    EXPECT_EQ(found, static_cast<void*>(object));
  }
  EXPECT_EQ(object->QueryInterface(IID_IClassFactory, &found), E_NOINTERFACE);
  EXPECT_EQ(found, nullptr);
  EXPECT_EQ(object->AddRef(), 1u);
  EXPECT_EQ(object->Release(), 1u);
  UINT count = 7;
  EXPECT_EQ(object->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 0u);
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(&count);
  EXPECT_EQ(object->GetTypeInfo(0, 0, &info), E_NOTIMPL);
  EXPECT_EQ(info, nullptr);
}

}  // namespace
