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
const char kTypesGuid[] = "{5D1E8E40-3C4B-4F59-9C71-6A2C0D7B1E01}";
const char kService[] = "VelmoraUninstallTest";
const DWORD kTimeoutMs = 60000;

std::string Built(const char* variable) { return WindowsPath(EnvironmentValue(variable)); }

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool KeyExists(HKEY root, const std::string& key) {
  HKEY opened;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
  RegCloseKey(opened);
  return true;
}

bool ValueExists(const std::string& key, const std::string& name) {
  return RegGetValueA(HKEY_CURRENT_USER, key.c_str(), name.c_str(), RRF_RT_ANY, nullptr, nullptr, nullptr) ==
         ERROR_SUCCESS;
}

void SetValue(const std::string& key, const std::string& name) {
  HKEY created;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(created, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2);
  RegCloseKey(created);
}

bool ServiceExists(const char* name) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = OpenServiceA(manager, name, SERVICE_QUERY_STATUS);
  if (service) CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return service != nullptr;
}

std::set<std::string> MovedAsideFiles() {
  std::set<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((TempFolder() + "uni*.tmp").c_str(), &found);
  for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found))
    names.insert(found.cFileName);
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
  return names;
}

// The copy removes itself once it has ended, which is after the original has.
bool Vanishes(const std::string& path) {
  for (int i = 0; i < 300 && Exists(path); ++i) Sleep(100);
  return !Exists(path);
}

// A product installed by hand below the temporary folder, every change logged as the installer logs it.
class Product {
 public:
  explicit Product(const std::string& name)
      : name_(name), folder_(TempFolder() + name), key_(kTestKey + "\\" + name) {
    Folder("");
  }

  std::string Path(const std::string& relative) const { return relative.empty() ? folder_ : folder_ + "\\" + relative; }
  const std::string& Key() const { return key_; }
  void Log(int type, const std::string& text) { lines_.push_back(std::to_string(type) + " " + text); }

  void Folder(const std::string& relative) {
    CreateDirectoryA(Path(relative).c_str(), nullptr);
    Log(2, Path(relative));
  }
  void File(const std::string& relative, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
    ASSERT_TRUE(WriteFileBytes(Path(relative), {'d', 'a', 't', 'a'}));
    SetFileAttributesA(Path(relative).c_str(), attributes);
    Log(3, Path(relative));
  }
  // A value set in the key that was there before, and a key of the product's own with a named and a default value.
  void Registry() {
    SetValue(kTestKey, "Keep");
    SetValue(kTestKey, "Added-" + name_);
    Log(6, "HKCU\\" + kTestKey + "\\Added-" + name_);
    SetValue(key_, "Name");
    Log(5, "HKCU\\" + key_);
    Log(6, "HKCU\\" + key_ + "\\Name");
    SetValue(key_, "");
    Log(6, "HKCU\\" + key_ + "\\");
  }
  // The uninstaller itself and the log, written newest line first.
  void Finish(const std::string& uninstallerText = "") {
    ASSERT_TRUE(CopyFileA(Built("VELMORA_UNINSTALLER").c_str(), Path("Uninst.exe").c_str(), FALSE));
    Log(3, Path("Uninst.exe"));
    Log(3, LogPath());
    std::string text = name_ + "\r\n";
    if (!uninstallerText.empty()) text += "1 " + uninstallerText + "\r\n";
    for (auto line = lines_.rbegin(); line != lines_.rend(); ++line) text += *line + "\r\n";
    ASSERT_TRUE(WriteFileBytes(LogPath(), std::vector<unsigned char>(text.begin(), text.end())));
  }
  std::string LogPath() const { return Path("Uninst.log"); }
  std::string Command(const std::string& program, const std::string& switches) const {
    return "\"" + program + "\" \"" + LogPath() + "\"" + switches;
  }

  // The standard layout: nested folders, a read-only file, registry entries.
  void Standard() {
    File("readme.txt");
    Folder("bin");
    File("bin\\tool.dat", FILE_ATTRIBUTE_READONLY);
    Folder("bin\\deep");
    File("bin\\deep\\data.bin");
    Registry();
  }
  void ExpectStandardGone() const {
    EXPECT_FALSE(Exists(Path("readme.txt")));
    EXPECT_FALSE(Exists(Path("bin"))) << "nested folders go, read-only files with them";
    EXPECT_FALSE(Exists(Path("Uninst.exe")));
    EXPECT_FALSE(Exists(LogPath()));
    EXPECT_FALSE(ValueExists(kTestKey, "Added-" + name_));
    EXPECT_TRUE(ValueExists(kTestKey, "Keep")) << "what was there before the install stays";
  }

 private:
  std::string name_;
  std::string folder_;
  std::string key_;
  std::vector<std::string> lines_;  // oldest first
};

TEST(UninstallerWineTest, SilentRemovalUndoesEveryLineTypeFromInsideTheProduct) {
  Product product("VelUninstAll");
  product.Standard();
  product.File("server.dll");
  ASSERT_TRUE(CopyFileA(Built("VELMORA_UNINSTALL_SERVER").c_str(), product.Path("server.dll").c_str(), FALSE));
  SetValue(kTestKey + "\\Server", "Class");
  product.Log(4, product.Path("server.dll"));

  product.File("types.tlb");
  ASSERT_TRUE(CopyFileA(Built("VELMORA_UNINSTALL_TYPES").c_str(), product.Path("types.tlb").c_str(), FALSE));
  std::string typesPath = product.Path("types.tlb");
  std::wstring types(typesPath.begin(), typesPath.end());
  ITypeLib* library = nullptr;
  ASSERT_EQ(LoadTypeLibEx(types.c_str(), REGKIND_REGISTER, &library), S_OK);
  library->Release();
  ASSERT_TRUE(KeyExists(HKEY_CLASSES_ROOT, std::string("TypeLib\\") + kTypesGuid));
  product.Log(7, kTypesGuid);

  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  SC_HANDLE leftover = OpenServiceA(manager, kService, DELETE);
  if (leftover) DeleteService(leftover), CloseServiceHandle(leftover);
  SC_HANDLE service = CreateServiceA(manager, kService, kService, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                     SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, product.Path("service.exe").c_str(),
                                     nullptr, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(service, nullptr);
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  product.Log(8, kService);
  product.Finish();

  std::set<std::string> movedBefore = MovedAsideFiles();
  ChildProcess child;
  ASSERT_TRUE(child.Start(product.Command(product.Path("Uninst.exe"), " /S")));
  EXPECT_EQ(child.Wait(kTimeoutMs), 0);
  product.ExpectStandardGone();
  EXPECT_FALSE(Exists(product.Path(""))) << "the folder the uninstaller ran from goes too";
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, product.Key()));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kTestKey + "\\Server")) << "the library unregistered itself";
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::string("TypeLib\\") + kTypesGuid));
  EXPECT_FALSE(ServiceExists(kService));
  EXPECT_TRUE(Vanishes(TempFolder() + "Uninst-" + std::to_string(child.Id()) + ".exe"));
  EXPECT_EQ(MovedAsideFiles(), movedBefore) << "the original's file, moved aside, was deleted once it had ended";
}

TEST(UninstallerWineTest, WhatCannotBeUndoneIsSkippedAndTheRestStillGoes) {
  Product product("VelUninstPartial");
  product.Standard();
  // Lines the uninstaller must not or cannot undo, among the others.
  std::string current = TempFolder() + "VelUninstPartial-cwd";
  CreateDirectoryA(current.c_str(), nullptr);
  ASSERT_TRUE(WriteFileBytes(current + "\\notes.txt", {'n'}));
  product.Log(3, "notes.txt");
  product.Log(4, product.Path("missing.dll"));
  product.Finish();
  ASSERT_TRUE(WriteFileBytes(product.Path("user.txt"), {'u'}));
  SetValue(product.Key(), "Foreign");

  char previous[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, previous);
  SetCurrentDirectoryA(current.c_str());
  ChildProcess child;
  ASSERT_TRUE(child.Start(product.Command(product.Path("Uninst.exe"), " /S")));
  EXPECT_EQ(child.Wait(kTimeoutMs), 2);
  SetCurrentDirectoryA(previous);

  product.ExpectStandardGone();
  EXPECT_TRUE(Exists(product.Path("user.txt"))) << "the user's file keeps its folder";
  EXPECT_TRUE(Exists(current + "\\notes.txt")) << "a relative path is not taken from the current folder";
  EXPECT_TRUE(ValueExists(product.Key(), "Foreign")) << "a key holding data of others stays";
  EXPECT_FALSE(ValueExists(product.Key(), "Name"));
  DeleteFileA(product.Path("user.txt").c_str());
  RemoveDirectoryA(product.Path("").c_str());
  RegDeleteKeyA(HKEY_CURRENT_USER, product.Key().c_str());
}

TEST(UninstallerWineTest, AsksFirstAndNoChangesNothing) {
  Product product("VelUninstAsk");
  product.Standard();
  product.Finish("Close VelUninstAsk before you go on.");
  // Started from outside the product, the uninstaller shows its boxes in this very process.
  std::string tools = TempFolder() + "VelUninstAsk-tools";
  CreateDirectoryA(tools.c_str(), nullptr);
  std::string program = tools + "\\Uninst.exe";
  ASSERT_TRUE(CopyFileA(Built("VELMORA_UNINSTALLER").c_str(), program.c_str(), FALSE));

  ChildProcess refused;
  ASSERT_TRUE(refused.Start(product.Command(program, "")));
  HWND box = refused.FindDialog("VelUninstAsk Uninstall", kTimeoutMs);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(WindowText(GetDlgItem(box, 0xFFFF)),
            "Close VelUninstAsk before you go on.\r\n\r\nRemove VelUninstAsk and all of its components?");
  SendMessageA(GetDlgItem(box, IDNO), BM_CLICK, 0, 0);
  EXPECT_EQ(refused.Wait(kTimeoutMs), 1);
  EXPECT_TRUE(Exists(product.Path("bin\\deep\\data.bin")));
  EXPECT_TRUE(Exists(product.LogPath()));
  EXPECT_TRUE(ValueExists(product.Key(), ""));

  ChildProcess accepted;
  ASSERT_TRUE(accepted.Start(product.Command(program, "")));
  box = accepted.FindDialog("VelUninstAsk Uninstall", kTimeoutMs);
  ASSERT_NE(box, nullptr);
  SendMessageA(GetDlgItem(box, IDYES), BM_CLICK, 0, 0);
  for (int i = 0; i < 300 && IsWindow(box); ++i) Sleep(100);
  HWND done = accepted.FindDialog("VelUninstAsk Uninstall", kTimeoutMs);
  ASSERT_NE(done, nullptr);
  EXPECT_EQ(WindowText(GetDlgItem(done, 0xFFFF)), "VelUninstAsk was removed from your computer.");
  SendMessageA(GetDlgItem(done, IDOK), BM_CLICK, 0, 0);
  EXPECT_EQ(accepted.Wait(kTimeoutMs), 0);
  product.ExpectStandardGone();
  EXPECT_FALSE(Exists(product.Path("")));
  DeleteFileA(program.c_str());
  RemoveDirectoryA(tools.c_str());
}

TEST(UninstallerWineTest, ALogThatCannotBeReadChangesNothing) {
  std::string folder = TempFolder() + "VelUninstBadLog";
  CreateDirectoryA(folder.c_str(), nullptr);
  std::string nameless = folder + "\\Uninst.log";
  std::string target = folder + "\\keep.txt";
  std::string text = "\r\n3 " + target + "\r\n2 " + folder + "\r\n";
  ASSERT_TRUE(WriteFileBytes(nameless, std::vector<unsigned char>(text.begin(), text.end())));
  ASSERT_TRUE(WriteFileBytes(target, {'k'}));
  for (const std::string& log : {nameless, folder + "\\missing.log"}) {
    ChildProcess child;
    ASSERT_TRUE(child.Start("\"" + Built("VELMORA_UNINSTALLER") + "\" /S \"" + log + "\""));
    EXPECT_EQ(child.Wait(kTimeoutMs), 1) << log;
  }
  EXPECT_TRUE(Exists(target));
  DeleteFileA(target.c_str());
  DeleteFileA(nameless.c_str());
  RemoveDirectoryA(folder.c_str());
}

}  // namespace
