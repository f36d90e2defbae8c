// Installers whose actions register things with the system and run scripts, installed unattended
// by the real stub as their own processes, and one of them removed again by its own uninstaller.
#include <gtest/gtest.h>
#include <ole2.h>
#include <shlobj.h>

#include <set>
#include <string>

#include "ChildProcess.h"
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
