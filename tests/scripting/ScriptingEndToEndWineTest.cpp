// Installers whose actions register things with the system and run scripts, installed unattended
// by the real stub as their own processes, and one of them removed again by its own uninstaller.
#include <gtest/gtest.h>
#include <ole2.h>
#include <shlobj.h>

#include <set>
#include <string>

#include "ChildProcess.h"
#include "ElevatedCommand.h"
#include "ElevatedProcess.h"
#include "InstallChecks.h"

namespace {

const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char kProduct[] = "Velmora E2E Everything";
const char kFolder[] = "C:\\Velmora E2E Everything";
const char kKey[] = "Software\\Velmora E2E Everything";
const char kService[] = "VelmoraE2E4.2";
const char kServerKey[] = "Software\\Velmora Test Server";
const char kTypeLibKey[] = "TypeLib\\{7B3C2A10-5E4D-4C8B-9A61-2F0E4D3C1B02}";

std::string Package(const char* name) {
  return WindowsPath(EnvironmentValue("VELMORA_SCRIPTING_PACKAGES")) + "\\" + name;
}

long RunProgram(const std::string& commandLine) {
  ChildProcess process;
  if (!process.Start(commandLine)) return -1;
  return process.Wait(120000);
}

std::string Text(HKEY root, const std::string& key, const char* name) {
  std::string value = RegistryValue(root, key, name).second;
  return value.substr(0, value.find('\0'));
}

std::string Folder(int csidl) {
  char path[MAX_PATH] = "";
  SHGetFolderPathA(nullptr, csidl, nullptr, 0, path);
  return path;
}

// Every file and folder below root, by path; temporary folders, whose contents come and go with
// every program Wine runs, are left out.
void ListTree(const std::string& root, const std::string& relative, std::set<std::string>* tree) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((root + relative + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    std::string path = relative + "\\" + name;
    bool folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (folder && (_stricmp(name.c_str(), "Temp") == 0)) continue;
    tree->insert(folder ? path + "\\" : path);
    if (folder) ListTree(root, path, tree);
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

// Every key and value below key, with the values' types and bytes.
void ListKeys(HKEY root, const std::string& key, std::set<std::string>* tree) {
  HKEY opened;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return;
  tree->insert(key + "\\");
  char name[1024];
  BYTE data[4096];
  for (DWORD i = 0;; ++i) {
    DWORD nameLength = sizeof(name), type = 0, size = sizeof(data);
    if (RegEnumValueA(opened, i, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
    tree->insert(key + "\\" + name + "=" + std::to_string(type) + ":" +
                 std::string(reinterpret_cast<char*>(data), size));
  }
  for (DWORD i = 0;; ++i) {
    DWORD nameLength = sizeof(name);
    if (RegEnumKeyExA(opened, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    ListKeys(root, key + "\\" + name, tree);
  }
  RegCloseKey(opened);
}

struct Snapshot {
  std::set<std::string> files;
  std::set<std::string> keys;
};

// The whole C: drive, and the registry's branches the product's actions reach.
Snapshot Take() {
  Snapshot s;
  ListTree("C:", "", &s.files);
  ListKeys(HKEY_CURRENT_USER, "Software\\Velmora E2E Everything", &s.keys);
  ListKeys(HKEY_CURRENT_USER, kServerKey, &s.keys);
  ListKeys(HKEY_LOCAL_MACHINE, "Software\\Velmora E2E Everything", &s.keys);
  ListKeys(HKEY_CLASSES_ROOT, "TypeLib", &s.keys);
  ListKeys(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services", &s.keys);
  ListKeys(HKEY_LOCAL_MACHINE, kUninstallKey, &s.keys);
  return s;
}

std::string Difference(const std::set<std::string>& a, const std::set<std::string>& b) {
  std::string text;
  for (const std::string& s : a)
    if (!b.count(s)) text += "  only before: " + s + "\n";
  for (const std::string& s : b)
    if (!a.count(s)) text += "  only after: " + s + "\n";
  return text;
}

void RemoveEverything() {
  DeleteTree(kFolder);
  DeleteFileA(Package("Velmora E2E ran.txt").c_str());
  DeleteFileA(Package("Velmora E2E vbscript.txt").c_str());
  DeleteTree(Folder(CSIDL_PROGRAMS) + "\\Velmora Everything");
  RegDeleteTreeA(HKEY_CURRENT_USER, kKey);
  RegDeleteTreeA(HKEY_CURRENT_USER, kServerKey);
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, kKey);
  RegDeleteTreeA(HKEY_CLASSES_ROOT, kTypeLibKey);
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, (std::string(kUninstallKey) + kProduct).c_str());
  DeleteServiceNamed(kService);
}

class Everything : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    RemoveEverything();
  }
  void TearDown() override {
    RemoveEverything();
    CoUninitialize();
  }
};

TEST_F(Everything, InstallsEveryActionAndTheUninstallerRemovesIt) {
  Snapshot before = Take();
  // The scripts in an unknown language and with a syntax error fail: the run says so.
  ASSERT_EQ(RunProgram("\"" + Package("everything.exe") + "\""), 3);

  const std::string p = kFolder;
  const std::string menu = Folder(CSIDL_PROGRAMS) + "\\Velmora Everything";
  const std::string hkcu = std::string("HKCU\\") + kKey;
  const std::string hklm = std::string("HKLM\\") + kUninstallKey + kProduct;
  EXPECT_EQ(Contents(p + "\\Uninst.log"),
            std::string(kProduct) + "\r\n"
            "3 " + p + "\\Uninst.log\r\n"
            + ProductDetailLines(hklm) +
            "3 " + p + "\\uninst.exe\r\n"
            "6 " + hklm + "\\DisplayName\r\n"
            "6 " + hklm + "\\UninstallString\r\n"
            "5 " + hklm + "\r\n"
            "3 " + p + "\\copied tree\\sub\\nested.txt\r\n"
            "2 " + p + "\\copied tree\\sub\r\n"
            "2 " + p + "\\copied tree\r\n"
            "3 " + p + "\\copied\\note.txt\r\n"
            "2 " + p + "\\copied\r\n"
            "6 " + hkcu + "\\Edition\r\n"
            "6 " + hkcu + "\\Scripts\\VBScript\r\n"
            "6 " + hkcu + "\\Scripts\\JScript\r\n"
            "5 " + hkcu + "\\Scripts\r\n"
            "3 " + p + "\\links\\Readme.lnk\r\n"
            "2 " + p + "\\links\r\n"
            "3 " + p + "\\script copy\\readme.txt\r\n"
            "2 " + p + "\\script copy\r\n"
            "6 HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts\\Velmor Sans (TrueType)\r\n"
            "3 " + menu + "\\Everything.lnk\r\n"
            "2 " + menu + "\r\n"
            "8 " + kService + "\r\n"
            "7 {7B3C2A10-5E4D-4C8B-9A61-2F0E4D3C1B02}\r\n"
            "4 " + p + "\\bin\\TestServer.dll\r\n"
            "6 HKLM\\" + kKey + "\\Number\r\n"
            "5 HKLM\\" + kKey + "\r\n"
            "6 " + hkcu + "\\\r\n"
            "6 " + hkcu + "\\Text\r\n"
            "5 " + hkcu + "\r\n"
            "3 " + p + "\\fonts\\VelmorSans.ttf\r\n"
            "2 " + p + "\\fonts\r\n"
            "3 " + p + "\\docs\\readme.txt\r\n"
            "3 " + p + "\\docs\\deep\\more\\notes.txt\r\n"
            "2 " + p + "\\docs\\deep\\more\r\n"
            "2 " + p + "\\docs\\deep\r\n"
            "2 " + p + "\\docs\r\n"
            "3 " + p + "\\bin\\TestTypes.tlb\r\n"
            "3 " + p + "\\bin\\TestServer.dll\r\n"
            "3 " + p + "\\bin\\MarkerWriter.exe\r\n"
            "2 " + p + "\\bin\r\n"
            "2 " + p + "\r\n");

  // The scripts found what they expected, and what the VBScript one set reached a later action.
  EXPECT_EQ(Text(HKEY_CURRENT_USER, std::string(kKey) + "\\Scripts", "JScript"), "ok");
  EXPECT_EQ(Text(HKEY_CURRENT_USER, std::string(kKey) + "\\Scripts", "VBScript"), "ok");
  EXPECT_EQ(Text(HKEY_CURRENT_USER, kKey, "Edition"), "Gold");
  EXPECT_TRUE(Exists(Package("Velmora E2E vbscript.txt")));
  EXPECT_TRUE(Exists(Package("Velmora E2E ran.txt")));
  EXPECT_EQ(RegistryValue(HKEY_CURRENT_USER, kKey, "Unknown").first, DWORD(REG_NONE));
  EXPECT_EQ(RegistryValue(HKEY_CURRENT_USER, kKey, "Broken").first, DWORD(REG_NONE));

  // The shortcut in the product's default Start-menu folder, every field as the manifest says.
  LinkFields link = ReadLink(menu + "\\Everything.lnk");
  EXPECT_EQ(link.path, p + "\\bin\\MarkerWriter.exe");
  EXPECT_EQ(link.arguments, "\"" + p + "\\from-shortcut.txt\"");
  EXPECT_EQ(link.description, "Velmora 4.2");
  EXPECT_EQ(link.workingFolder, p);
  EXPECT_EQ(link.hotKey, WORD((HOTKEYF_CONTROL | HOTKEYF_ALT) << 8 | 'E'));
  EXPECT_EQ(link.showCommand, SW_SHOWMAXIMIZED);

  // The service, its server registration and its type library, as the system keeps them.
  const std::string service = std::string("System\\CurrentControlSet\\Services\\") + kService;
  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, service, "ImagePath"), "\"" + p + "\\bin\\MarkerWriter.exe\"");
  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, service, "DisplayName"), "Velmora E2E 4.2");
  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, service, "Description"), std::string("Serves ") + kProduct);
  EXPECT_EQ(RegistryValue(HKEY_LOCAL_MACHINE, service, "Start"), RegistryData(REG_DWORD, std::string("\2\0\0\0", 4)));
  EXPECT_EQ(Text(HKEY_CURRENT_USER, kServerKey, "Registered"), "yes");
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kTypeLibKey));

  // The user's own file stays with its folder; everything else goes.
  ASSERT_TRUE(WriteFileBytes(p + "\\my notes.txt", {'m', 'i', 'n', 'e'}));
  // The folder holding that file stays for it, and the removal is complete all the same.
  EXPECT_EQ(RunProgram("\"" + p + "\\Uninst.exe\" \"" + p + "\\Uninst.log\" /S"), 0);
  Snapshot after = Take();
  before.files.insert("\\Velmora E2E Everything\\");
  before.files.insert("\\Velmora E2E Everything\\my notes.txt");
  EXPECT_TRUE(before.files == after.files) << Difference(before.files, after.files);
  EXPECT_TRUE(before.keys == after.keys) << Difference(before.keys, after.keys);
}

const char kFontsKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
const char kFontValue[] = "Velmor Sans (TrueType)";

// The execution level a program's manifest asks for, read from the resource the loader reads.
std::string ExecutionLevel(const std::string& program) {
  HMODULE image = LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!image) return "<unreadable>";
  std::string manifest;
  if (HRSRC found = FindResourceA(image, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24))) {
    const char* bytes = static_cast<const char*>(LockResource(LoadResource(image, found)));
    if (bytes) manifest.assign(bytes, SizeofResource(image, found));
  }
  FreeLibrary(image);
  size_t at = manifest.find("level=\"");
  return at == std::string::npos ? "<none>" : manifest.substr(at + 7, manifest.find('"', at + 7) - at - 7);
}

// Whether path lies in folder, letter case aside.
bool Inside(const std::string& path, const std::string& folder) {
  return path.size() > folder.size() && _strnicmp(path.c_str(), folder.c_str(), folder.size()) == 0 &&
         path[folder.size()] == '\\';
}

// Runs the uninstall command a product's registration under root names, with /S; its exit code,
// and in *report its log.
long Uninstall(HKEY root, const std::string& product, std::string* report) {
  std::string command = Text(root, std::string(kUninstallKey) + product, "UninstallString");
  if (command.empty()) return -1;
  // The temporary folder's path has no blanks: the switch needs no quotes.
  const std::string log = TempFolder() + "velmora-uninstall.log";
  DeleteFileA(log.c_str());
  long code = RunProgram(command + " /S /LOG=" + log);
  *report = Contents(log);
  return code;
}

// What the machine's part holds that an install's actions could reach, beside the whole C: drive.
Snapshot TakeMachineAndDrive() {
  Snapshot s;
  ListTree("C:", "", &s.files);
  ListKeys(HKEY_LOCAL_MACHINE, "Software\\Classes\\TypeLib", &s.keys);
  ListKeys(HKEY_LOCAL_MACHINE, kUninstallKey, &s.keys);
  ListKeys(HKEY_LOCAL_MACHINE, kFontsKey, &s.keys);
  ListKeys(HKEY_LOCAL_MACHINE, "Software\\Velmora E2E Per User", &s.keys);
  return s;
}

// Removes the product registered under root with its uninstaller, which must leave the drive and
// the machine's keys as they were before the install.
void ExpectRemovedWhole(HKEY root, const std::string& product, const Snapshot& before) {
  std::string report;
  EXPECT_EQ(Uninstall(root, product, &report), 0) << report;
  Snapshot removed = TakeMachineAndDrive();
  EXPECT_TRUE(before.files == removed.files) << Difference(before.files, removed.files);
  EXPECT_TRUE(before.keys == removed.keys) << Difference(before.keys, removed.keys);
  EXPECT_FALSE(KeyExists(root, std::string(kUninstallKey) + product));
}

const char kElevatedFolder[] = "C:\\Velmora E2E Elevated App";

void RemovePerUser(const char* product) {
  DeleteTree(Folder(CSIDL_LOCAL_APPDATA) + "\\Programs\\" + product);
  DeleteTree(std::string(Folder(CSIDL_PROGRAM_FILES)) + "\\" + product);
  DeleteTree(Folder(CSIDL_PROGRAMS) + "\\Velmora Per User");
  DeleteFileA((Folder(CSIDL_PROGRAMS) + "\\Velmora Either.lnk").c_str());
  DeleteFileA((Folder(CSIDL_COMMON_PROGRAMS) + "\\Velmora Either.lnk").c_str());
  DeleteTree(kElevatedFolder);
  DeleteFileA((Folder(CSIDL_LOCAL_APPDATA) + "\\Microsoft\\Windows\\Fonts\\VelmorSans.ttf").c_str());
  HKEY fonts;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kFontsKey, 0, KEY_SET_VALUE, &fonts) == ERROR_SUCCESS) {
    RegDeleteValueA(fonts, kFontValue);
    RegCloseKey(fonts);
  }
  RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Velmora E2E Per User");
  RegDeleteTreeA(HKEY_CURRENT_USER, (std::string("Software\\Classes\\") + kTypeLibKey).c_str());
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
    RegDeleteTreeA(root, (std::string(kUninstallKey) + product).c_str());
  // A user's first install makes the key that lists the user's programs; its removal must go too.
  const std::string list = kUninstallKey;
  RegDeleteKeyA(HKEY_CURRENT_USER, list.substr(0, list.size() - 1).c_str());
}

class PerUser : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    RemovePerUser("Velmora E2E Per User");
    RemovePerUser("Velmora E2E Either");
  }
  void TearDown() override {
    RemovePerUser("Velmora E2E Per User");
    RemovePerUser("Velmora E2E Either");
    CoUninitialize();
  }
};

TEST_F(PerUser, InstallsIntoTheUsersOwnPartAndTheUninstallerRemovesIt) {
  const std::string product = "Velmora E2E Per User";
  const std::string local = Folder(CSIDL_LOCAL_APPDATA), profile = Folder(CSIDL_PROFILE);
  const std::string p = local + "\\Programs\\" + product, menu = Folder(CSIDL_PROGRAMS) + "\\Velmora Per User";
  const std::string userFonts = local + "\\Microsoft\\Windows\\Fonts";
  EXPECT_EQ(ExecutionLevel(Package("per-user.exe")), "asInvoker");
  EXPECT_EQ(ExecutionLevel(Package("everything.exe")), "requireAdministrator");
  // Asking for what the package does not offer is a bad command line.
  EXPECT_EQ(RunProgram("\"" + Package("per-user.exe") + "\" /S /ALLUSERS"), 87);
  EXPECT_EQ(RunProgram("\"" + Package("everything.exe") + "\" /S /CURRENTUSER"), 87);
  EXPECT_FALSE(Exists(p));

  Snapshot before = TakeMachineAndDrive();
  ASSERT_EQ(RunProgram("\"" + Package("per-user.exe") + "\" /S"), 0);
  Snapshot installed = TakeMachineAndDrive();
  // Every file and folder it added lies in the user's profile; the machine's keys are as they were.
  for (const std::string& file : installed.files)
    if (!before.files.count(file)) EXPECT_TRUE(Inside("C:" + file, profile)) << file;
  EXPECT_TRUE(before.keys == installed.keys) << Difference(before.keys, installed.keys);

  EXPECT_EQ(Contents(p + "\\docs\\readme.txt"), "Read me.\r\n");
  EXPECT_EQ(ExecutionLevel(p + "\\uninst.exe"), "asInvoker");
  const std::string registration = std::string(kUninstallKey) + product;
  EXPECT_EQ(Text(HKEY_CURRENT_USER, registration, "UninstallString"),
            "\"" + p + "\\Uninst.exe\" \"" + p + "\\Uninst.log\"");
  EXPECT_EQ(Text(HKEY_CURRENT_USER, registration, "InstallLocation"), p);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, registration));
  // The variables that name shared folders name the user's own.
  EXPECT_EQ(Text(HKEY_CURRENT_USER, "Software\\Velmora E2E Per User", "Folders"),
            local + "\\Programs|" + local + "\\Programs\\Common|" + Folder(CSIDL_PROGRAMS) + "|" +
                Folder(CSIDL_APPDATA) + "|" + userFonts);
  EXPECT_TRUE(Exists(menu + "\\Per User.lnk"));
  // The type library in the user's classes, the font in the user's list with its full path.
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, std::string("Software\\Classes\\") + kTypeLibKey));
  EXPECT_EQ(Text(HKEY_CURRENT_USER, kFontsKey, kFontValue), userFonts + "\\VelmorSans.ttf");
  EXPECT_NE(Contents(p + "\\Uninst.log").find("6 HKCU\\" + std::string(kFontsKey) + "\\" + kFontValue + "\r\n"),
            std::string::npos);

  ExpectRemovedWhole(HKEY_CURRENT_USER, product, before);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, std::string("Software\\Classes\\") + kTypeLibKey));
  EXPECT_EQ(RegistryValue(HKEY_CURRENT_USER, kFontsKey, kFontValue).first, DWORD(REG_NONE));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\Velmora E2E Per User"));
}

TEST_F(PerUser, EitherScopeLandsWhereTheCommandLineSaysAndAnUpgradeKeepsIt) {
  const std::string product = "Velmora E2E Either", registration = std::string(kUninstallKey) + product;
  const std::string user = Folder(CSIDL_LOCAL_APPDATA) + "\\Programs\\" + product;
  const std::string machine = Folder(CSIDL_PROGRAM_FILES) + "\\" + product;
  EXPECT_EQ(ExecutionLevel(Package("either.exe")), "asInvoker");
  Snapshot before = TakeMachineAndDrive();
  struct Case {
    const char* switches;
    bool perUser;
  } cases[] = {{"/S", true}, {"/S /CURRENTUSER", true}, {"/ALLUSERS /S", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.switches);
    const std::string folder = c.perUser ? user : machine;
    const HKEY root = c.perUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    const std::string menu = Folder(c.perUser ? CSIDL_PROGRAMS : CSIDL_COMMON_PROGRAMS);
    ASSERT_EQ(RunProgram("\"" + Package("either.exe") + "\" " + c.switches), 0);
    EXPECT_EQ(Contents(folder + "\\readme.txt"), "Read me.\r\n");
    EXPECT_FALSE(Exists(c.perUser ? machine : user));
    EXPECT_TRUE(Exists(menu + "\\Velmora Either.lnk"));
    EXPECT_EQ(Text(root, registration, "InstallLocation"), folder);
    EXPECT_FALSE(KeyExists(c.perUser ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, registration));
    // Run again without a choice, it finds the installed version and keeps its scope.
    ASSERT_EQ(RunProgram("\"" + Package("either.exe") + "\" /S"), 0);
    EXPECT_FALSE(Exists(c.perUser ? machine : user));
    EXPECT_EQ(Text(root, registration, "InstallLocation"), folder);
    ExpectRemovedWhole(root, product, before);
  }
}

// Wine starts every program with full rights, so no installer here ever needs the prompt. What
// one does then is shown directly: the real installer and uninstaller, started through the
// "runas" verb with the line an installer builds from its choices, read every switch, and their
// exit codes come back.
TEST_F(PerUser, AnElevatedStartReadsEveryChoiceHandedOnAndHandsBackItsExitCode) {
  const std::string product = "Velmora E2E Either", registration = std::string(kUninstallKey) + product;
  const std::string logFolder = TempFolder() + "velmora elevated", log = logFolder + "\\set up.log";
  CreateDirectoryA(logFolder.c_str(), nullptr);
  DeleteFileA(log.c_str());
  InstallerSwitches choices;
  choices.silent = true;
  choices.hasComponents = true;
  choices.components.Append(::Text("Main"));
  choices.logPath = log.c_str();
  choices.destination = kElevatedFolder;
  ::Text line;
  ASSERT_TRUE(ElevatedCommand::Build(choices, &line));
  Snapshot before = TakeMachineAndDrive();

  DWORD exitCode = 99;
  ASSERT_EQ(ElevatedProcess::Run(Package("either.exe").c_str(), line, &exitCode), ElevatedProcess::kEnded);
  EXPECT_EQ(exitCode, 0u);
  EXPECT_EQ(Contents(std::string(kElevatedFolder) + "\\readme.txt"), "Read me.\r\n");
  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, registration, "InstallLocation"), kElevatedFolder);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, registration));
  EXPECT_TRUE(Exists(Folder(CSIDL_COMMON_PROGRAMS) + "\\Velmora Either.lnk"));
  std::string written = Contents(log);
  EXPECT_NE(written.find(std::string("command line: ") + line.CStr() + "\r\n"), std::string::npos) << written;
  EXPECT_NE(written.find("Exit code 0"), std::string::npos) << written;

  // A refusal comes back as the program's own exit code, here a component it does not list.
  exitCode = 99;
  ASSERT_EQ(ElevatedProcess::Run(Package("either.exe").c_str(), "/ALLUSERS /S /COMPONENTS=Nothing", &exitCode),
            ElevatedProcess::kEnded);
  EXPECT_EQ(exitCode, 87u);
  DWORD missing = 0;
  EXPECT_EQ(ElevatedProcess::Run("C:\\no such folder\\setup.exe", "/S", &missing), ElevatedProcess::kNotStarted);
  EXPECT_NE(missing, 0u);

  // The uninstaller hands on its own arguments, the quoted log path among them, as it found them.
  std::string command = Text(HKEY_LOCAL_MACHINE, registration, "UninstallString");
  ASSERT_EQ(command.substr(0, 1), "\"");
  size_t programEnd = command.find('"', 1);
  exitCode = 99;
  ASSERT_EQ(ElevatedProcess::Run(command.substr(1, programEnd - 1).c_str(), (command.substr(programEnd + 2) + " /S").c_str(),
                                 &exitCode),
            ElevatedProcess::kEnded);
  EXPECT_EQ(exitCode, 0u);
  Snapshot removed = TakeMachineAndDrive();
  EXPECT_TRUE(before.files == removed.files) << Difference(before.files, removed.files);
  EXPECT_TRUE(before.keys == removed.keys) << Difference(before.keys, removed.keys);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, registration));
  DeleteFileA(log.c_str());
  RemoveDirectoryA(logFolder.c_str());
}

TEST(ScriptCancel, EndsTheInstallerAtOnceWithExitCode1) {
  const char folder[] = "C:\\Velmora E2E Cancel";
  Scratch product(folder, HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + "Velmora E2E Cancel");
  EXPECT_EQ(RunProgram("\"" + Package("cancel.exe") + "\""), 1);
  EXPECT_EQ(Contents(product.In("readme.txt")), "Read me.\r\n");
  EXPECT_FALSE(Exists(product.In("notes.txt")));
  // What was installed before stays registered for removal.
  EXPECT_NE(Contents(product.In("Uninst.log")).find("3 " + product.In("readme.txt") + "\r\n"), std::string::npos);
  EXPECT_TRUE(Exists(product.In("uninst.exe")));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + "Velmora E2E Cancel"));
}

}  // namespace
