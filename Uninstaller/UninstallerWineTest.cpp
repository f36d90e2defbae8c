// Removes products laid out by hand with the real uninstaller, started as its own process.
#include <gtest/gtest.h>
#include <windows.h>
#include <oleauto.h>

#include <set>
#include <string>
#include <vector>

#include "ChildProcess.h"

namespace {
const std::string kTestKey = "Software\\VelmoraUninstallTest";
const std::string kTypesKey = "TypeLib\\{5D1E8E40-3C4B-4F59-9C71-6A2C0D7B1E01}";
const std::string kTypesInterfaceKey = "Interface\\{5D1E8E41-3C4B-4F59-9C71-6A2C0D7B1E01}";
const char kService[] = "VelmoraUninstallTest";
const std::string kFontsKey = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
const DWORD kTimeoutMs = 60000;

std::string Built(const char* variable) { return WindowsPath(EnvironmentValue(variable)); }

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool KeyExists(HKEY root, const std::string& key) {
  HKEY opened;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
  RegCloseKey(opened);
  return true;
}

// A value's data as text (a multi-string's parts joined by zero bytes), or "" when there is none.
std::string RegistryValueText(HKEY root, const std::string& key, const char* name) {
  char data[8192];
  DWORD size = sizeof(data);
  if (RegGetValueA(root, key.c_str(), name, RRF_RT_ANY, nullptr, data, &size) != ERROR_SUCCESS) return "";
  return std::string(data, size);
}

bool ValueExists(const std::string& key, const std::string& name) {
  return RegGetValueA(HKEY_CURRENT_USER, key.c_str(), name.c_str(), RRF_RT_ANY, nullptr, nullptr, nullptr) == 0;
}

void SetValue(const std::string& key, const std::string& name) {
  HKEY created;
  LONG result = RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created, nullptr);
  ASSERT_EQ(result, ERROR_SUCCESS);
  RegSetValueExA(created, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2);
  RegCloseKey(created);
}

// The names in the temporary folder that match the pattern.
std::set<std::string> TempNames(const char* pattern) {
  std::set<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((TempFolder() + pattern).c_str(), &found);
  for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found))
    names.insert(found.cFileName);
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
  return names;
}

// An uninstaller copy in one of the private folders the uninstaller makes below the temporary folder.
std::string CopyOfUninstaller() {
  for (const std::string& folder : TempNames("Uninst-*"))
    if (Exists(TempFolder() + folder + "\\Uninst.exe")) return TempFolder() + folder + "\\Uninst.exe";
  return "";
}

// A product installed by hand below the temporary folder, every change logged as the installer
// logs it: nested folders, a read-only file, a value in a key that was there before, and a key
// of its own with a named and a default value.
class Product {
 public:
  explicit Product(const std::string& name, const std::string& base = TempFolder())
      : name_(name), folder_(base + name), key_(kTestKey + "\\" + name) {
    Folder("");
    File("readme.txt");
    Folder("bin");
    File("bin\\tool.dat", FILE_ATTRIBUTE_READONLY);
    Folder("bin\\deep");
    File("bin\\deep\\data.bin");
    SetValue(kTestKey, "Keep");
    SetValue(kTestKey, "Added-" + name_);
    Log(6, "HKCU\\" + kTestKey + "\\Added-" + name_);
    SetValue(key_, "Name");
    Log(5, "HKCU\\" + key_);
    Log(6, "HKCU\\" + key_ + "\\Name");
    SetValue(key_, "");
    Log(6, "HKCU\\" + key_ + "\\");
  }

  std::string Path(const std::string& relative) const { return relative.empty() ? folder_ : folder_ + "\\" + relative; }
  const std::string& Key() const { return key_; }
  void Log(int type, const std::string& text) { lines_.push_back(std::to_string(type) + " " + text); }
  void Folder(const std::string& relative) {
    CreateDirectoryA(Path(relative).c_str(), nullptr);
    Log(2, Path(relative));
  }
  void File(const std::string& relative, DWORD attributes = FILE_ATTRIBUTE_NORMAL, const char* from = nullptr) {
    ASSERT_TRUE(from ? CopyFileA(Built(from).c_str(), Path(relative).c_str(), FALSE)
                     : WriteFileBytes(Path(relative), {'d', 'a', 't', 'a'}));
    SetFileAttributesA(Path(relative).c_str(), attributes);
    Log(3, Path(relative));
  }

  // Adds the uninstaller and the log, written newest line first.
  void Finish(const std::string& uninstallerText = "") {
    File("Uninst.exe", FILE_ATTRIBUTE_NORMAL, "VELMORA_UNINSTALLER");
    Log(3, Path("Uninst.log"));
    std::string text = name_ + "\r\n";
    if (!uninstallerText.empty()) text += "1 " + uninstallerText + "\r\n";
    for (auto line = lines_.rbegin(); line != lines_.rend(); ++line) text += *line + "\r\n";
    ASSERT_TRUE(WriteFileBytes(Path("Uninst.log"), std::vector<unsigned char>(text.begin(), text.end())));
  }
  std::string Command(const std::string& switches, const std::string& program = "") const {
    return "\"" + (program.empty() ? Path("Uninst.exe") : program) + "\" \"" + Path("Uninst.log") + "\"" + switches;
  }

  void ExpectLoggedPartsGone() const {
    for (const char* file : {"readme.txt", "bin", "Uninst.exe", "Uninst.log"}) EXPECT_FALSE(Exists(Path(file))) << file;
    EXPECT_FALSE(ValueExists(kTestKey, "Added-" + name_));
    EXPECT_FALSE(ValueExists(key_, "Name"));
    EXPECT_TRUE(ValueExists(kTestKey, "Keep")) << "what was there before the install stays";
  }

 private:
  std::string name_;
  std::string folder_;
  std::string key_;
  std::vector<std::string> lines_;  // oldest first
};

TEST(UninstallerWineTest, SilentRemovalFromInsideTheProductUndoesEveryLineType) {
  Product product("VelUninstAll");
  product.File("server.dll", FILE_ATTRIBUTE_NORMAL, "VELMORA_UNINSTALL_SERVER");
  SetValue(kTestKey + "\\Server", "Class");
  product.Log(4, product.Path("server.dll"));
  product.File("types.tlb", FILE_ATTRIBUTE_NORMAL, "VELMORA_UNINSTALL_TYPES");
  std::string typesPath = product.Path("types.tlb");
  ITypeLib* types = nullptr;
  ASSERT_EQ(LoadTypeLibEx(std::wstring(typesPath.begin(), typesPath.end()).c_str(), REGKIND_REGISTER, &types), S_OK);
  types->Release();
  ASSERT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kTypesKey));
  ASSERT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kTypesInterfaceKey));
  product.Log(7, kTypesKey.substr(8));
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  SC_HANDLE service = OpenServiceA(manager, kService, DELETE);  // left by an earlier failed run
  if (service) DeleteService(service), CloseServiceHandle(service);
  service = CreateServiceA(manager, kService, kService, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                     SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, product.Path("service.exe").c_str(),
                                     nullptr, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(service, nullptr);
  CloseServiceHandle(service);
  product.Log(8, kService);
  // A font registration: the value goes (the font resource with it, in the uninstaller's session).
  HKEY fonts;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kFontsKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &fonts,
                            nullptr),
            ERROR_SUCCESS);
  std::string fontFile = product.Path("font.ttf");
  RegSetValueExA(fonts, "VelUninstAll (TrueType)", 0, REG_SZ, reinterpret_cast<const BYTE*>(fontFile.c_str()),
                 DWORD(fontFile.size() + 1));
  product.Log(6, "HKLM\\" + kFontsKey + "\\VelUninstAll (TrueType)");

  std::set<std::string> movedBefore = TempNames("uni*.tmp");
  std::set<std::string> copyFoldersBefore = TempNames("Uninst-*");
  product.Finish();
  // Started from a folder of the product, as from the product's folder in a file manager: that
  // folder must not stay anyone's current folder, or it could not be removed.
  char previous[MAX_PATH];
  ASSERT_NE(GetCurrentDirectoryA(MAX_PATH, previous), 0u);
  ASSERT_TRUE(SetCurrentDirectoryA(product.Path("bin\\deep").c_str()));
  ChildProcess child;
  bool started = child.Start(product.Command(" /S"));
  SetCurrentDirectoryA(previous);
  ASSERT_TRUE(started);
  EXPECT_EQ(child.Wait(kTimeoutMs), 0);
  product.ExpectLoggedPartsGone();
  EXPECT_FALSE(Exists(product.Path(""))) << "the folder the uninstaller ran from goes too";
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, product.Key()));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kTestKey + "\\Server")) << "the library unregistered itself";
  EXPECT_EQ(RegQueryValueExA(fonts, "VelUninstAll (TrueType)", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
  RegCloseKey(fonts);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kTypesKey));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kTypesInterfaceKey)) << "the library was unregistered as what it is";
  service = OpenServiceA(manager, kService, DELETE);
  EXPECT_EQ(service, nullptr);
  if (service) DeleteService(service), CloseServiceHandle(service);
  CloseServiceHandle(manager);
  // The copy that did the work, in a folder of its own, deletes the original's file once the
  // original has ended, and its own file goes when it ends.
  std::string copy;
  for (int i = 0; i < 300 && (copy = CopyOfUninstaller()) != ""; ++i) Sleep(100);
  EXPECT_EQ(copy, "");
  // Its folder, empty now, goes at the next restart; nothing else was left in the temporary folder.
  std::set<std::string> copyFolders = TempNames("Uninst-*");
  for (const std::string& name : copyFoldersBefore) copyFolders.erase(name);
  ASSERT_EQ(copyFolders.size(), 1u);
  EXPECT_TRUE(RemoveDirectoryA((TempFolder() + *copyFolders.begin()).c_str()));
  EXPECT_EQ(TempNames("uni*.tmp"), movedBefore);
}

TEST(UninstallerWineTest, AProductOnAnotherVolumeGoesWhole) {
  // The uninstaller in use there cannot be moved into the temporary folder on the system drive.
  if (!Exists("V:\\")) GTEST_SKIP() << "no drive V: on another file system";
  Product product("VelUninstVolume", "V:\\");
  product.Finish();
  std::set<std::string> movedBefore = TempNames("uni*.tmp");
  ChildProcess child;
  ASSERT_TRUE(child.Start(product.Command(" /S")));
  EXPECT_EQ(child.Wait(kTimeoutMs), 0);
  product.ExpectLoggedPartsGone();
  EXPECT_FALSE(Exists(product.Path("")));
  // Moved aside on its own volume, the original's file is deleted once the original has ended.
  std::string aside;
  for (int i = 0; i < 300; ++i, Sleep(100)) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("V:\\uni*.tmp", &found);
    if (search == INVALID_HANDLE_VALUE) break;
    aside = found.cFileName;
    FindClose(search);
  }
  EXPECT_TRUE(aside.empty() || !Exists("V:\\" + aside)) << aside;
  EXPECT_EQ(TempNames("uni*.tmp"), movedBefore);
  for (const std::string& name : TempNames("Uninst-*")) RemoveDirectoryA((TempFolder() + name).c_str());
}

std::string TextOf(const std::string& path) {
  std::vector<unsigned char> bytes;
  return ReadFileBytes(path, &bytes) ? std::string(bytes.begin(), bytes.end()) : "<unreadable>";
}

// Lines that are not the product's to undo: a relative path, a server library that is gone, a
// key holding a value of others, a folder holding the user's file. None keeps the product back.
TEST(UninstallerWineTest, WhatIsNotTheProductsToUndoDoesNotHoldTheRemovalBack) {
  Product product("VelUninstPartial");
  std::string current = TempFolder() + "VelUninstPartial-cwd";
  CreateDirectoryA(current.c_str(), nullptr);
  ASSERT_TRUE(WriteFileBytes(current + "\\notes.txt", {'n'}));
  product.Log(3, "notes.txt");
  product.Log(4, product.Path("missing.dll"));
  SetValue(product.Key(), "Foreign");
  char previous[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, previous);
  SetCurrentDirectoryA(current.c_str());
  product.Finish();
  ASSERT_TRUE(WriteFileBytes(product.Path("user.txt"), {'u'}));
  std::string report = TempFolder() + "VelUninstPartial-report.txt";
  ChildProcess child;
  ASSERT_TRUE(child.Start(product.Command(" /S /LOG=" + report)));
  EXPECT_EQ(child.Wait(kTimeoutMs), 3) << "removed, with a line that can never be undone";
  SetCurrentDirectoryA(previous);

  product.ExpectLoggedPartsGone();
  EXPECT_TRUE(Exists(product.Path("user.txt"))) << "the user's file keeps its folder";
  EXPECT_TRUE(Exists(current + "\\notes.txt")) << "a relative path is not taken from the current folder";
  EXPECT_TRUE(ValueExists(product.Key(), "Foreign")) << "a key holding data of others stays";
  std::string text = TextOf(report);
  EXPECT_NE(text.find("FAILED  Remove file notes.txt (can never be undone, dropped)"), std::string::npos) << text;
  EXPECT_NE(text.find("ok      Unregister library " + product.Path("missing.dll")), std::string::npos) << text;
  EXPECT_NE(text.find("kept    Remove folder " + product.Path("") + ": it holds"), std::string::npos) << text;
  EXPECT_NE(text.find("kept    Remove registry key HKCU\\" + product.Key() + ": it holds"), std::string::npos) << text;
  EXPECT_NE(text.find("Exit code 3"), std::string::npos) << text;
  DeleteFileA(report.c_str());
  DeleteFileA(product.Path("user.txt").c_str());
  RemoveDirectoryA(product.Path("").c_str());
  RegDeleteKeyA(HKEY_CURRENT_USER, product.Key().c_str());
  DeleteFileA((current + "\\notes.txt").c_str());
  RemoveDirectoryA(current.c_str());
}

// Only a refusal that may pass keeps the product for a second run, and that run ends the removal.
TEST(UninstallerWineTest, AFileInUseAsksForASecondRunThatFinishes) {
  Product product("VelUninstInUse");
  product.Finish();
  ASSERT_TRUE(WriteFileBytes(product.Path("user.txt"), {'u'}));
  std::string held = product.Path("readme.txt");
  HANDLE file = CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  ChildProcess first;
  ASSERT_TRUE(first.Start(product.Command(" /S")));
  EXPECT_EQ(first.Wait(kTimeoutMs), 2);
  CloseHandle(file);
  // What is left to undo and what keeps the product removable; the file also goes at the next restart.
  EXPECT_EQ(TextOf(product.Path("Uninst.log")), "VelUninstInUse\r\n3 " + held + "\r\n3 " + product.Path("Uninst.log") +
                                                    "\r\n2 " + product.Path("") + "\r\n");
  EXPECT_NE(RegistryValueText(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager",
                              "PendingFileRenameOperations")
                .find(held),
            std::string::npos);
  ChildProcess second;
  ASSERT_TRUE(second.Start("\"" + Built("VELMORA_UNINSTALLER") + "\" \"" + product.Path("Uninst.log") + "\" /S"));
  EXPECT_EQ(second.Wait(kTimeoutMs), 0);
  EXPECT_FALSE(Exists(held));
  EXPECT_FALSE(Exists(product.Path("Uninst.log")));
  EXPECT_TRUE(Exists(product.Path("user.txt")));
  DeleteFileA(product.Path("user.txt").c_str());
  RemoveDirectoryA(product.Path("").c_str());
}

TEST(UninstallerWineTest, AsksFirstAndListsWhatStayed) {
  Product product("VelUninstAsk");
  // Started from outside the product, the uninstaller shows its boxes in the process started here.
  std::string program = TempFolder() + "VelUninstAsk.exe";
  ASSERT_TRUE(CopyFileA(Built("VELMORA_UNINSTALLER").c_str(), program.c_str(), FALSE));
  product.Finish("Close VelUninstAsk first.");
  ChildProcess refused;
  ASSERT_TRUE(refused.Start(product.Command("", program)));
  HWND box = refused.FindDialog("VelUninstAsk Uninstall", kTimeoutMs);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(WindowText(GetDlgItem(box, 0xFFFF)),
            "Close VelUninstAsk first.\r\n\r\nRemove VelUninstAsk and all of its components?");
  SendMessageA(GetDlgItem(box, IDNO), BM_CLICK, 0, 0);
  EXPECT_EQ(refused.Wait(kTimeoutMs), 1);
  EXPECT_TRUE(Exists(product.Path("bin\\deep\\data.bin")));
  EXPECT_TRUE(ValueExists(product.Key(), ""));

  ASSERT_TRUE(WriteFileBytes(product.Path("user.txt"), {'u'}));
  ChildProcess accepted;
  ASSERT_TRUE(accepted.Start(product.Command("", program)));
  box = accepted.FindDialog("VelUninstAsk Uninstall", kTimeoutMs);
  ASSERT_NE(box, nullptr);
  SendMessageA(GetDlgItem(box, IDYES), BM_CLICK, 0, 0);
  for (int i = 0; i < 300 && IsWindow(box); ++i) Sleep(100);
  HWND done = accepted.FindDialog("VelUninstAsk Uninstall", kTimeoutMs);
  ASSERT_NE(done, nullptr);
  EXPECT_EQ(WindowText(GetDlgItem(done, 0xFFFF)),
            "VelUninstAsk was removed from your computer.\r\n\r\n"
            "These folders hold files it did not install, and were left in place:\r\n\r\n" + product.Path(""));
  SendMessageA(GetDlgItem(done, IDOK), BM_CLICK, 0, 0);
  EXPECT_EQ(accepted.Wait(kTimeoutMs), 0);
  product.ExpectLoggedPartsGone();
  DeleteFileA(product.Path("user.txt").c_str());
  RemoveDirectoryA(product.Path("").c_str());
  DeleteFileA(program.c_str());
}

TEST(UninstallerWineTest, AMissingLogChangesNothingAndExitsWithOne) {
  ChildProcess child;
  ASSERT_TRUE(child.Start("\"" + Built("VELMORA_UNINSTALLER") + "\" /S \"" + TempFolder() + "VelNoSuch\\Uninst.log\""));
  EXPECT_EQ(child.Wait(kTimeoutMs), 1);
}

}  // namespace
