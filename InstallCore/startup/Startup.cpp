#include "Startup.h"

#include <commctrl.h>
#include <ole2.h>

#include "ExitCodes.h"
#include "InstallWizard.h"
#include "InstallerSwitches.h"
#include "Module.h"
#include "RunModes.h"
#include "SystemApi.h"
#include "WideText.h"

const char kCorruptionCaption[] = "Integrity check failed";
const char kCorruptionText[] =
    "This Velmora package is corrupted.\n\nPossible reasons:\n - broken Internet download\n"
    " - this EXE file was modified.\n\nInstallation cannot continue.";

namespace {
const char kDamagedBefore[] = "This Velmora package is damaged: \"";
const char kDamagedAfter[] =
    "\" cannot be installed.\n\nPossible reasons:\n - broken Internet download\n"
    " - this EXE file was modified.\n\nThe installation was stopped.";

int ReportCorruption() {
  MessageBoxA(nullptr, kCorruptionText, kCorruptionCaption, MB_ICONWARNING);
  return 1;
}
}  // namespace

int ReportDamagedEntry(const Text& entry) {
  Text text(kDamagedBefore);
  text.Append(entry);
  text.Append(kDamagedAfter);
  MessageBoxW(nullptr, WideText(text), WideText(kCorruptionCaption), MB_ICONWARNING);
  return 1;
}

int RunInstaller(const char* path, const char* commandTail) {
  // Read before the package, whose flags a corrupt one cannot be trusted for: /S keeps even the
  // corruption silent, for whoever waits on this process without a screen.
  InstallerSwitches switches;
  Text rejected;
  bool understood = switches.Parse(commandTail, &rejected);
  InstallWizard installer(path);
  if (installer.EntryCount() != 0) return RunModes(installer, commandTail);
  if (!switches.silent) return ReportCorruption();
  if (understood && !switches.logPath.Empty() && installer.Log().Open(switches.logPath)) {
    installer.Log().Write("This Velmora package is corrupted: installation cannot continue.");
    installer.Log().WriteExitCode(kExitFailed);
  }
  return kExitFailed;
}

int Start(HINSTANCE instance, HINSTANCE, const char* commandTail, int) {
  // Before anything loads a library: an installer usually runs from a downloads folder,
  // where a planted DLL of a system library's name would otherwise be picked up.
  SystemApi::RestrictDllSearchToSystem();
  OleInitialize(nullptr);
  InitCommonControls();
  SystemApi::LoadSystemLibrary("RICHED32.DLL");
  Module::Init(instance);
  wchar_t path[520];
  DWORD length = GetModuleFileNameW(nullptr, path, 520);
  // A path that does not fit cannot be mapped: the package is unreachable, as a corrupt one is,
  // and /S keeps that silent too.
  Text own = length > 0 && length < 520 ? WideText::ToText(path) : Text();
  int exitCode = RunInstaller(own.CStr(), commandTail);
  OleUninitialize();
  return exitCode;
}
