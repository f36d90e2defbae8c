#include "ElevatedProcess.h"

#include <shellapi.h>
#include <shlobj.h>

#include "Memory.h"
#include "OwnedHandle.h"

namespace ElevatedProcess {
namespace {
// Switched off, the prompt never appears and "runas" starts the program with the caller's rights.
bool PromptSwitchedOff() {
  DWORD enabled = 1;
  DWORD size = sizeof(enabled);
  return RegGetValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System",
                      "EnableLUA", RRF_RT_REG_DWORD, nullptr, &enabled, &size) == ERROR_SUCCESS &&
         enabled == 0;
}

// The arguments as the wide text ShellExecuteExW takes; freed with MemFree.
wchar_t* Widen(const Text& text) {
  int length = MultiByteToWideChar(CP_ACP, 0, text.CStr(), -1, nullptr, 0);
  wchar_t* wide = length > 0 ? static_cast<wchar_t*>(MemAlloc(sizeof(wchar_t) * size_t(length))) : nullptr;
  if (wide && MultiByteToWideChar(CP_ACP, 0, text.CStr(), -1, wide, length) != length) {
    MemFree(wide);
    return nullptr;
  }
  return wide;
}
}  // namespace

bool Needed() { return !IsUserAnAdmin() && !PromptSwitchedOff(); }

Outcome Run(const Text& program, const Text& arguments, DWORD* exitCode) {
  wchar_t* file = program.Empty() ? nullptr : Widen(program);
  wchar_t* parameters = Widen(arguments);
  if (!file || !parameters) {
    MemFree(file);
    MemFree(parameters);
    *exitCode = program.Empty() ? ERROR_FILENAME_EXCED_RANGE : ERROR_NOT_ENOUGH_MEMORY;
    return kNotStarted;
  }
  SHELLEXECUTEINFOW start = {};
  start.cbSize = sizeof(start);
  start.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  start.lpVerb = L"runas";
  start.lpFile = file;
  start.lpParameters = parameters;
  start.nShow = SW_SHOWNORMAL;
  BOOL started = ShellExecuteExW(&start);
  DWORD error = started ? 0 : GetLastError();
  MemFree(file);
  MemFree(parameters);
  if (!started || !start.hProcess) {
    *exitCode = error ? error : ERROR_INVALID_HANDLE;
    return error == ERROR_CANCELLED ? kRefused : kNotStarted;
  }
  KernelObject process(start.hProcess);
  if (WaitForSingleObject(process.Get(), INFINITE) != WAIT_OBJECT_0 || !GetExitCodeProcess(process.Get(), exitCode)) {
    *exitCode = GetLastError();
    return kNotStarted;
  }
  return kEnded;
}

Text OwnFile() {
  char self[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
  return length == 0 || length >= MAX_PATH ? Text() : Text(self, length);
}

}  // namespace ElevatedProcess
