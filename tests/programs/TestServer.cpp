// Test library: registers itself by writing a key below HKCU\Software\Velmora Test Server and
// unregisters itself by removing it.
#include <windows.h>

namespace {
const char kKey[] = "Software\\Velmora Test Server";
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllRegisterServer() {
  HKEY key;
  LONG result = RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (result != ERROR_SUCCESS) return HRESULT_FROM_WIN32(result);
  result = RegSetValueExA(key, "Registered", 0, REG_SZ, reinterpret_cast<const BYTE*>("yes"), 4);
  RegCloseKey(key);
  return HRESULT_FROM_WIN32(result);
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllUnregisterServer() {
  LONG result = RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
  return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(result);
}
