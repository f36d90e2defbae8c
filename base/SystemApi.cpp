#ifdef _WIN32
#include "SystemApi.h"

#include <string.h>
#include "WideText.h"

namespace SystemApi {
namespace {
const DWORD kSearchSystem32 = 0x00000800;   // LOAD_LIBRARY_SEARCH_SYSTEM32
const DWORD kSearchDllLoadDir = 0x00000100;  // LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR

FARPROC Lookup(const char* library, const char* function) {
  HMODULE module = GetModuleHandleA(library);
  if (!module) module = LoadSystemLibrary(library);
  return module ? GetProcAddress(module, function) : nullptr;
}
}  // namespace

void RestrictDllSearchToSystem() {
  typedef BOOL(WINAPI * SetDefaultDllDirectoriesFn)(DWORD);
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (!kernel) return;
  SetDefaultDllDirectoriesFn fn =
      reinterpret_cast<SetDefaultDllDirectoriesFn>(GetProcAddress(kernel, "SetDefaultDllDirectories"));
  if (fn) fn(kSearchSystem32);
}

HMODULE LoadSystemLibrary(const char* name) {
  // A full path works on every version; the search flag alone is unknown before Windows 8.
  char path[MAX_PATH + 32];
  UINT length = GetSystemDirectoryA(path, MAX_PATH);
  size_t nameLength = strlen(name);
  if (length == 0 || length >= MAX_PATH || length + 1 + nameLength >= sizeof(path)) return nullptr;
  if (path[length - 1] != '\\') path[length++] = '\\';
  memcpy(path + length, name, nameLength + 1);
  return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

HMODULE LoadLibraryWithItsFolder(const char* path) {
  // The search flags came with AddDllDirectory; without it they are refused, and the older
  // altered search order also starts in the library's folder.
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (kernel && GetProcAddress(kernel, "AddDllDirectory"))
    return LoadLibraryExW(WideText(path), nullptr, kSearchDllLoadDir | kSearchSystem32);
  return LoadLibraryExW(WideText(path), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

GetDiskFreeSpaceExWFn GetDiskFreeSpaceExW() {
  return reinterpret_cast<GetDiskFreeSpaceExWFn>(Lookup("kernel32.dll", "GetDiskFreeSpaceExW"));
}

ChangeServiceConfig2WFn ChangeServiceConfig2W() {
  return reinterpret_cast<ChangeServiceConfig2WFn>(Lookup("advapi32.dll", "ChangeServiceConfig2W"));
}

RtlGenRandomFn RtlGenRandom() {
  return reinterpret_cast<RtlGenRandomFn>(Lookup("advapi32.dll", "SystemFunction036"));
}

SetFileInformationByHandleFn SetFileInformationByHandle() {
  // Asked for every installed file: looked up once.
  static bool lookedUp = false;
  static SetFileInformationByHandleFn function = nullptr;
  if (!lookedUp) {
    function = reinterpret_cast<SetFileInformationByHandleFn>(Lookup("kernel32.dll", "SetFileInformationByHandle"));
    lookedUp = true;
  }
  return function;
}

}  // namespace SystemApi
#endif
