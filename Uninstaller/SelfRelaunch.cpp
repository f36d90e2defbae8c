#include "SelfRelaunch.h"


#include "CommandLine.h"
#include "UninstallOutcome.h"
#include "OwnedHandle.h"
#include "PrivateFolder.h"
#include "SystemFolders.h"
#include "WideText.h"

namespace SelfRelaunch {
namespace {
// The original ends as soon as it has the result; this bounds the wait should it not.
const DWORD kOriginalEndTimeoutMs = 60000;

HANDLE FromValue(uint32_t value) { return reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(value)); }
uint32_t ToValue(HANDLE handle) { return static_cast<uint32_t>(reinterpret_cast<ULONG_PTR>(handle)); }

bool StartCopy(const Text& copy, const Text& folder, const Text& arguments, KernelObject* process,
               KernelObject* resultRead) {
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  KernelObject resultWrite;
  KernelObject original;
  if (!CreatePipe(resultRead->Receive(), resultWrite.Receive(), &inheritable, 0) ||
      !SetHandleInformation(resultRead->Get(), HANDLE_FLAG_INHERIT, 0) ||
      !DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), original.Receive(), SYNCHRONIZE,
                       TRUE, 0))
    return false;
  Text withSwitch(arguments);
  Text copySwitch = UninstallArguments::CopySwitch(ToValue(original.Get()), ToValue(resultWrite.Get()));
  Text line;
  if (!withSwitch.Append(' ') || !withSwitch.Append(copySwitch) || !CommandLine::Build(copy, withSwitch, &line))
    return false;
  // The system may write into the command line.
  WideText buffer(line);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(WideText(copy), const_cast<wchar_t*>(buffer.Get()), nullptr, nullptr, TRUE, 0, nullptr,
                      WideText(folder), &startup, &info))
    return false;
  *process->Receive() = info.hProcess;
  KernelObject thread(info.hThread);
  return true;
}
}  // namespace

bool RunCopy(const Text& arguments, DWORD* exitCode) {
  wchar_t self[MAX_PATH];
  DWORD selfLength = GetModuleFileNameW(nullptr, self, MAX_PATH);
  Text temp = SystemFolders::Temp();
  if (selfLength == 0 || selfLength >= MAX_PATH || temp.Empty()) return false;
  // In the shared temporary folder another user could swap the copy before it starts, elevated.
  Text folder = PrivateFolder::Create(temp, "Uninst-");
  if (folder.Empty()) return false;
  Text copy = folder + "\\Uninst.exe";
  if (!CopyFileW(self, WideText(copy), TRUE)) {
    PrivateFolder::Remove(folder);
    return false;
  }
  // Neither process may keep a folder of the product as its current one, which would stop it
  // from being removed: both work from the temporary folder.
  SetCurrentDirectoryW(WideText(temp));
  // Held open for deletion while the copy starts: where the platform lets a running image go
  // that way, the file disappears when the copy ends.
  FileHandle removal(CreateFileW(WideText(copy), DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  KernelObject process;
  KernelObject resultRead;
  if (!StartCopy(copy, temp, arguments, &process, &resultRead)) {
    removal.Reset();
    PrivateFolder::Remove(folder);
    return false;
  }
  removal.Reset();
  DWORD result = 0;
  DWORD read = 0;
  if (ReadFile(resultRead.Get(), &result, sizeof(result), &read, nullptr) && read == sizeof(result)) {
    *exitCode = result;
    return true;
  }
  // The copy ended without a word: its own exit code is the outcome.
  WaitForSingleObject(process.Get(), INFINITE);
  if (!GetExitCodeProcess(process.Get(), exitCode)) *exitCode = kNotRun;
  return true;
}

void ReportResult(const UninstallArguments& arguments, DWORD exitCode) {
  KernelObject pipe(FromValue(arguments.resultPipe));
  DWORD written = 0;
  WriteFile(pipe.Get(), &exitCode, sizeof(exitCode), &written, nullptr);
  pipe.Reset();
  KernelObject original(FromValue(arguments.originalProcess));
  WaitForSingleObject(original.Get(), kOriginalEndTimeoutMs);
  wchar_t self[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  MoveFileExW(self, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  // The copy's private folder is empty once the copy has ended, and goes at the next restart.
  Text own = WideText::ToText(self, int(length));
  uint32_t slash = own.FindLastChar('\\');
  if (slash != Text::kNotFound) MoveFileExW(WideText(own.Left(slash)), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

}  // namespace SelfRelaunch
