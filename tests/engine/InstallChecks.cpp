#include "InstallChecks.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <vector>

#include "ChildProcess.h"

std::string Contents(const std::string& path) {
  std::vector<unsigned char> bytes;
  if (!ReadFileBytes(path, &bytes)) return "<missing>";
  return std::string(bytes.begin(), bytes.end());
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

DWORD Attributes(const std::string& path) { return GetFileAttributesA(path.c_str()) & ~DWORD(FILE_ATTRIBUTE_ARCHIVE); }

uint64_t LastWrite(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32 | data.ftLastWriteTime.dwLowDateTime;
}

uint64_t FileTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
  SYSTEMTIME system = {year, month, 0, day, hour, minute, second, 0};
  FILETIME time;
  SystemTimeToFileTime(&system, &time);
  return uint64_t(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

bool WaitForFile(const std::string& path) {
  for (int i = 0; i < 600 && !Exists(path); ++i) Sleep(50);
  return Exists(path);
}

void DeleteTree(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    DeleteFileA(path.c_str());
    return;
  }
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((path + "\\*").c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string name = found.cFileName;
      if (name != "." && name != "..") DeleteTree(path + "\\" + name);
    } while (FindNextFileA(find, &found));
    FindClose(find);
  }
  RemoveDirectoryA(path.c_str());
}

RegistryData RegistryValue(HKEY root, const std::string& key, const char* name, REGSAM view) {
  HKEY opened;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ | view, &opened) != ERROR_SUCCESS) return {REG_NONE, "<missing>"};
  // Sized by the value, which may be long: the renames waiting for a restart grow with every
  // uninstall since the last one.
  DWORD type = REG_NONE, size = 0;
  LONG result = RegQueryValueExA(opened, name, nullptr, &type, nullptr, &size);
  std::string data(size, '\0');
  if (result == ERROR_SUCCESS && size)
    result = RegQueryValueExA(opened, name, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size);
  RegCloseKey(opened);
  if (result != ERROR_SUCCESS) return {REG_NONE, "<missing>"};
  return {type, data.substr(0, size)};
}

std::string ProductDetailLines(const std::string& key) {
  std::string lines;
  for (const char* name : {"QuietUninstallString", "NoRepair", "NoModify", "InstallDate", "EstimatedSize", "DisplayIcon",
                           "InstallLocation", "Publisher", "DisplayVersion"})
    lines += "6 " + key + "\\" + name + "\r\n";
  return lines;
}

bool KeyExists(HKEY root, const std::string& key, REGSAM view) {
  HKEY opened;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ | view, &opened) != ERROR_SUCCESS) return false;
  RegCloseKey(opened);
  return true;
}

Scratch::Scratch(const std::string& folder, HKEY root, const std::string& key, REGSAM view)
    : folder_(folder), root_(root), key_(key), view_(view) {
  Clean();
}

Scratch::~Scratch() { Clean(); }

void Scratch::Clean() {
  DeleteTree(folder_);
  HKEY opened;
  if (RegOpenKeyExA(root_, key_.c_str(), 0, KEY_ALL_ACCESS | view_, &opened) == ERROR_SUCCESS) {
    RegDeleteTreeA(opened, nullptr);
    RegCloseKey(opened);
    RegDeleteKeyExA(root_, key_.c_str(), view_, 0);
  }
}

void DeleteServiceNamed(const std::string& name) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (!manager) return;
  if (SC_HANDLE service = OpenServiceA(manager, name.c_str(), DELETE)) {
    DeleteService(service);
    CloseServiceHandle(service);
  }
  CloseServiceHandle(manager);
}

LinkFields ReadLink(const std::string& file) {
  LinkFields fields;
  IShellLinkA* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              reinterpret_cast<void**>(&link))))
    return fields;
  IPersistFile* persist = nullptr;
  link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist));
  if (persist && SUCCEEDED(persist->Load(std::wstring(file.begin(), file.end()).c_str(), STGM_READ))) {
    char text[MAX_PATH * 2] = "";
    link->GetPath(text, sizeof(text), nullptr, 0);
    fields.path = text;
    link->GetArguments(text, sizeof(text));
    fields.arguments = text;
    link->GetWorkingDirectory(text, sizeof(text));
    fields.workingFolder = text;
    link->GetDescription(text, sizeof(text));
    fields.description = text;
    link->GetIconLocation(text, sizeof(text), &fields.iconIndex);
    fields.iconFile = text;
    link->GetHotkey(&fields.hotKey);
  }
  if (persist) persist->Release();
  link->Release();
  std::vector<unsigned char> bytes;
  if (ReadFileBytes(file, &bytes) && bytes.size() >= 64)
    fields.showCommand = bytes[60] | bytes[61] << 8 | bytes[62] << 16 | bytes[63] << 24;
  return fields;
}

