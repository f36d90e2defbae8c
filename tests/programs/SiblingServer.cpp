// Test library: a COM server that imports SiblingLibrary.dll, which lies beside it. It registers
// only if that library was found, so loading it shows where the loader looked.
#include <windows.h>

extern "C" __declspec(dllimport) int SiblingValue();

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllRegisterServer() {
  return SiblingValue() == 42 ? S_OK : E_FAIL;
}
