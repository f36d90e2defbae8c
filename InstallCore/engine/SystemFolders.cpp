#include "SystemFolders.h"

#include <windows.h>
#include <shlobj.h>

#include "OwnedHandle.h"

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
Text FromBuffer(const char* buffer, UINT length, UINT capacity) {
  return length > 0 && length < capacity ? Text(buffer, length) : Text();
}
}  // namespace

Text Special(int csidl) {
  ItemIdList list;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, list.Receive())) || !list.Get()) return Text();
  char path[kSpecialCapacity];
  if (!SHGetPathFromIDListA(list.Get(), path)) return Text();
  return Text(path);
}

Text Special(int csidl, int fallback) {
  Text folder = Special(csidl);
  return folder.Empty() ? Special(fallback) : folder;
}

Text System() {
  char path[kPathCapacity];
  return FromBuffer(path, GetSystemDirectoryA(path, kPathCapacity), kPathCapacity);
}

Text Windows() {
  char path[kPathCapacity];
  return FromBuffer(path, GetWindowsDirectoryA(path, kPathCapacity), kPathCapacity);
}

Text Temp() {
  char path[kPathCapacity];
  Text folder = FromBuffer(path, GetTempPathA(kPathCapacity, path), kPathCapacity);
  folder.TrimRight('\\');
  return folder;
}

Text ProgramFiles() {
  Text folder = Special(CSIDL_PROGRAM_FILES);
  if (!folder.Empty()) return folder;
  RegistryKey key;
  char value[kPathCapacity + 1];
  DWORD size = kPathCapacity;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0, KEY_READ,
                    key.Receive()) == ERROR_SUCCESS &&
      RegQueryValueExA(key.Get(), "ProgramFilesDir", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) ==
          ERROR_SUCCESS) {
    // The stored value need not end with a zero.
    value[size < kPathCapacity ? size : kPathCapacity] = 0;
    return Text(value);
  }
  return Text("C:\\Program Files");
}

}  // namespace SystemFolders
