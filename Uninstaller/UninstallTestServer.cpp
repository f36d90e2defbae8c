// A library that unregisters itself by deleting the key the tests stand in for its registration.
#include <windows.h>

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllUnregisterServer() {
  LONG result = RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\VelmoraUninstallTest\\Server");
  return result == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(result);
}
