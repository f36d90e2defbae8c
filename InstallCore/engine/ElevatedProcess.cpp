#include "ElevatedProcess.h"

#include <shellapi.h>
#include <shlobj.h>

#include "OwnedHandle.h"
#include "WideText.h"

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

}  // namespace

bool Needed() { return !IsUserAnAdmin() && !PromptSwitchedOff(); }

Outcome Run(const Text& program, const Text& arguments, DWORD* exitCode) {
  if (program.Empty()) {
    *exitCode = ERROR_FILENAME_EXCED_RANGE;
    return kNotStarted;
  }
  WideText file(program);
  WideText parameters(arguments);
  SHELLEXECUTEINFOW start = {};
  start.cbSize = sizeof(start);
  start.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  start.lpVerb = L"runas";
  start.lpFile = file;
  start.lpParameters = parameters;
  start.nShow = SW_SHOWNORMAL;
  BOOL started = ShellExecuteExW(&start);
  DWORD error = started ? 0 : GetLastError();
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
  wchar_t self[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  return length == 0 || length >= MAX_PATH ? Text() : WideText::ToText(self, int(length));
}

}  // namespace ElevatedProcess
