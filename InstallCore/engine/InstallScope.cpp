#include "InstallScope.h"

#include <shlobj.h>
#include <string.h>

#include "SystemFolders.h"
#include "WideText.h"

namespace InstallScope {
namespace {
const uint32_t kCurrentUser = 0x80000001u;
const uint32_t kLocalMachine = 0x80000002u;

// The user's own programs folder (FOLDERID_UserProgramFiles), below the local application data.
Text UserPrograms() { return SystemFolders::Special(CSIDL_LOCAL_APPDATA) + "\\Programs"; }

bool Is(const char* variable, const char* name) { return strcmp(variable, name) == 0; }
}  // namespace

const char* const kVariables[kVariableCount] = {"ProgramsPath",      "CommonFiles",   "CommonProgramsMenu",
                                                "CommonStartMenu",   "CommonStartupMenu", "CommonAppData",
                                                "FontsPath"};

const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char kLanguageValue[] = "Language";

Text Folder(const char* variable, bool perUser) {
  if (Is(variable, "ProgramsPath")) return perUser ? UserPrograms() : SystemFolders::ProgramFiles();
  if (Is(variable, "CommonFiles"))
    return perUser ? UserPrograms() + "\\Common" : SystemFolders::ProgramFiles() + "\\Common Files";
  if (Is(variable, "CommonProgramsMenu"))
    return perUser ? SystemFolders::Special(CSIDL_PROGRAMS) : SystemFolders::Special(CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS);
  if (Is(variable, "CommonStartMenu"))
    return perUser ? SystemFolders::Special(CSIDL_STARTMENU)
                   : SystemFolders::Special(CSIDL_COMMON_STARTMENU, CSIDL_STARTMENU);
  if (Is(variable, "CommonStartupMenu"))
    return perUser ? SystemFolders::Special(CSIDL_STARTUP) : SystemFolders::Special(CSIDL_COMMON_STARTUP, CSIDL_STARTUP);
  if (Is(variable, "CommonAppData"))
    return perUser ? SystemFolders::Special(CSIDL_APPDATA) : SystemFolders::Special(CSIDL_COMMON_APPDATA, CSIDL_APPDATA);
  if (Is(variable, "FontsPath"))
    // Where Windows 10 1809 and later keep the fonts a user installs without administrator rights.
    return perUser ? SystemFolders::Special(CSIDL_LOCAL_APPDATA) + "\\Microsoft\\Windows\\Fonts"
                   : SystemFolders::Special(CSIDL_FONTS);
  return Text();
}

uint32_t RegistryRoot(bool perUser) { return perUser ? kCurrentUser : kLocalMachine; }

HKEY RootKey(uint32_t root) { return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(root)); }

Text RegisteredCommand(HKEY parent, const Text& key) {
  wchar_t command[2048];
  DWORD size = sizeof(command) - sizeof(wchar_t);
  if (RegGetValueW(parent, WideText(key), L"UninstallString", RRF_RT_REG_SZ, nullptr, command, &size) != ERROR_SUCCESS)
    return Text();
  return WideText::ToText(command);
}

Text RegisteredCommand(const Text& productName, bool perUser) {
  return RegisteredCommand(RootKey(RegistryRoot(perUser)), Text(kUninstallKey) + productName);
}

bool IsRegistered(const Text& productName, bool perUser) { return !RegisteredCommand(productName, perUser).Empty(); }

uint16_t RegisteredLanguage(const Text& productName, bool perUser) {
  DWORD language = 0;
  DWORD size = sizeof(language);
  if (RegGetValueW(RootKey(RegistryRoot(perUser)), WideText(Text(kUninstallKey) + productName), WideText(kLanguageValue),
                   RRF_RT_REG_DWORD, nullptr, &language, &size) != ERROR_SUCCESS ||
      language > 0xFFFF)
    return 0;
  return uint16_t(language);
}

}  // namespace InstallScope

UserClasses::UserClasses(bool perUser) {
  if (!perUser ||
      RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Classes", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      classes_.Receive(), nullptr) != ERROR_SUCCESS ||
      RegOverridePredefKey(HKEY_CLASSES_ROOT, classes_.Get()) != ERROR_SUCCESS)
    classes_.Reset();
}

UserClasses::~UserClasses() {
  if (classes_.Valid()) RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
}
