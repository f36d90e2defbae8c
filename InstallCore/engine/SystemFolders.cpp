#include "SystemFolders.h"

#include <windows.h>
#include <shlobj.h>

#include "OwnedHandle.h"
#include "WideText.h"

namespace SystemFolders {
namespace {
const UINT kPathCapacity = 260;
const DWORD kSpecialCapacity = 1040;

// Frees an item identifier list with the shell's allocator.
class ItemIdList {
 public:
  ItemIdList() : list_(nullptr) {}
  ~ItemIdList() {
    IMalloc* malloc = nullptr;
    if (list_ && SUCCEEDED(SHGetMalloc(&malloc))) {
      malloc->Free(list_);
      malloc->Release();
    }
  }
  ItemIdList(const ItemIdList&) = delete;
  ItemIdList& operator=(const ItemIdList&) = delete;

  LPITEMIDLIST* Receive() { return &list_; }
  LPITEMIDLIST Get() const { return list_; }

 private:
  LPITEMIDLIST list_;
};

// A text the system wrote into a buffer of capacity characters: length 0 or too long is unknown.
Text FromBuffer(const wchar_t* buffer, UINT length, UINT capacity) {
  return length > 0 && length < capacity ? WideText::ToText(buffer, int(length)) : Text();
}
}  // namespace

Text Special(int csidl) {
  ItemIdList list;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, list.Receive())) || !list.Get()) return Text();
  wchar_t path[kSpecialCapacity];
  if (!SHGetPathFromIDListW(list.Get(), path)) return Text();
  return WideText::ToText(path);
}

Text Special(int csidl, int fallback) {
  Text folder = Special(csidl);
  return folder.Empty() ? Special(fallback) : folder;
}

Text System() {
  wchar_t path[kPathCapacity];
  return FromBuffer(path, GetSystemDirectoryW(path, kPathCapacity), kPathCapacity);
}

Text Windows() {
  wchar_t path[kPathCapacity];
  return FromBuffer(path, GetWindowsDirectoryW(path, kPathCapacity), kPathCapacity);
}

Text Temp() {
  wchar_t path[kPathCapacity];
  Text folder = FromBuffer(path, GetTempPathW(kPathCapacity, path), kPathCapacity);
  folder.TrimRight('\\');
  return folder;
}

Text ProgramFiles() {
  Text folder = Special(CSIDL_PROGRAM_FILES);
  if (!folder.Empty()) return folder;
  RegistryKey key;
  wchar_t value[kPathCapacity + 1];
  DWORD size = kPathCapacity * sizeof(wchar_t);
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0, KEY_READ,
                    key.Receive()) == ERROR_SUCCESS &&
      RegQueryValueExW(key.Get(), L"ProgramFilesDir", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) ==
          ERROR_SUCCESS) {
    // The stored value need not end with a zero.
    value[size / sizeof(wchar_t)] = 0;
    return WideText::ToText(value);
  }
  return Text("C:\\Program Files");
}

}  // namespace SystemFolders
