#include "RunModes.h"

#include "ElevatedRun.h"
#include "ExitCodes.h"
#include "InstallerSwitches.h"
#include "Module.h"
#include "resource.h"
#include "WideText.h"

namespace {
// A message about the command line; none when the run is to show nothing.
void Tell(InstallWizard& installer, const InstallerSwitches& switches, const Text& text, UINT icon) {
  if ((switches.silent || switches.passive) && !switches.help) return;
  MessageBoxW(nullptr, WideText(text), WideText(installer.GetVariable("ProductName")), icon | MB_SETFOREGROUND);
}

void StartLog(InstallWizard& installer, const char* commandTail) {
  Text title("Install log of ");
  title.Append(installer.GetVariable("ProductName"));
  Text version = installer.GetVariable("ProductVersion");
  if (!version.Empty()) title = title + " " + version;
  installer.Log().Write(title);
  Text started("Started ");
  started.Append(InstallLogText::DateTime(InstallLog::Now()));
  started.Append(", command line: ");
  started.Append(commandTail);
  installer.Log().Write(started);
}

// Installs for the current user or for all users, where the package lets the command line
// choose; false when it does not and the package's scope is the other one.
bool ChooseScope(InstallWizard& installer, bool forCurrentUser) {
  if (installer.ProductFlags() & kProductScopeChoice) {
    installer.UseScope(forCurrentUser);
    return true;
  }
  return installer.PerUser() == forCurrentUser;
}

// Takes the switches into the run. Returns the exit code of a run they end at once, or -1 when
// the install is to go on.
int UseSwitches(InstallWizard& installer, const char* commandTail, const InstallerSwitches* switches,
                const Text& rejected) {
  Text problem;
  // The log first, so that it tells what else is wrong with the line.
  if (!switches->logPath.Empty() && !installer.Log().Open(switches->logPath)) {
    problem = "The log file cannot be written: /LOG=" + switches->logPath;
  } else {
    StartLog(installer, commandTail);
    Text unknown;
    if (!rejected.Empty()) {
      problem = "This argument is not understood: " + rejected;
    } else if (switches->help) {
      Tell(installer, *switches, InstallerSwitches::kUsage, MB_ICONINFORMATION);
      return kExitInstalled;
    } else if (!installer.FitsPathLimit(switches->destination)) {
      problem = "The folder is too long to install into: /D=" + switches->destination;
    } else if (switches->hasComponents && !installer.SelectOnly(switches->components, &unknown)) {
      problem = "No component that the installer lists is named \"" + unknown + "\" (/COMPONENTS=).";
    } else if (switches->language && !installer.UseLanguage(switches->language)) {
      problem = "The installer has no language ";
      problem.AppendDecimal(switches->language);
      problem.Append(" (/LANG=).");
    } else if (switches->scope != InstallerSwitches::kPackageScope &&
               !ChooseScope(installer, switches->scope == InstallerSwitches::kCurrentUser)) {
      problem = switches->scope == InstallerSwitches::kCurrentUser
                    ? "This product can only be installed for all users (/CURRENTUSER)."
                    : "This product can only be installed for the current user (/ALLUSERS).";
    }
  }
  if (!problem.Empty()) {
    installer.Log().Write(problem);
    Tell(installer, *switches, problem + "\r\n\r\n" + InstallerSwitches::kUsage, MB_ICONERROR);
    return kExitBadCommandLine;
  }
  if (!switches->destination.Empty()) installer.UseDestination(switches->destination);
  if (switches->silent) {
    installer.SetSilent();
  } else if (switches->passive) {
    installer.SetPassive();
  }
  return -1;
}

// choices are the command line's, taken into the run; an unattended or passive run hands them on
// as they are when it needs an elevated installer (the wizard hands on its own).
int Run(InstallWizard& installer, const InstallerSwitches& choices, bool silent) {
  // An entry found damaged, even while the product data was read, stops everything.
  if (installer.DamagedEntry().Empty()) {
    bool unattended = installer.ProductFlags() & kProductUnattended;
    if ((unattended || choices.passive) && ElevatedRun::Needed(installer)) {
      uint32_t exitCode = kExitFailed;
      return ElevatedRun::Run(installer, choices, &exitCode) ? int(exitCode) : int(kExitFailed);
    }
    if (unattended) {
      if (!installer.RunInstall()) return kExitFailed;
    } else {
      HWND owner = GetActiveWindow();
      // The dialog's first message binds its window to the object.
      Module::AddWindowObject(&installer);
      INT_PTR ended =
          DialogBoxParamW(Module::Instance(), MAKEINTRESOURCEW(IDD_WIZARD), owner, InstallWizard::DialogProc, 0);
      // Cancel must not read as success to whoever started the installer.
      if (ended == IDCANCEL) {
        installer.Log().Write("The user cancelled the wizard.");
        return kExitCancelled;
      }
      if (ended == -1) {
        installer.Log().Write("The wizard could not be shown.");
        return kExitFailed;
      }
      if (ended == InstallWizard::kHandedOn) return int(installer.ElevatedExitCode());
      if (ended == InstallWizard::kPassiveRefused) {
        installer.Log().Write("The destination or the selected components cannot be installed.");
        return kExitFailed;
      }
    }
  }
  if (!installer.DamagedEntry().Empty()) {
    installer.Log().Write("Damaged entry: " + installer.DamagedEntry());
    return silent ? kExitFailed : ReportDamagedEntry(installer.DamagedEntry());
  }
  installer.RunDeferredPrograms();
  return int(installer.RunExitCode());
}
}  // namespace

int RunModes(InstallWizard& installer, const char* commandTail) {
  bool silent = false;
  InstallerSwitches switches;
  if (installer.ReadsCommandLine()) {
    // Parsed again here, in the package's code page, which the paths and names it gives must be in.
    Text tail = WideText::FromUtf8(commandTail);
    Text rejected;
    if (switches.Parse(tail.CStr(), &rejected)) rejected.Clear();
    int ended = UseSwitches(installer, tail.CStr(), &switches, rejected);
    if (ended >= 0) {
      installer.Log().WriteExitCode(uint32_t(ended));
      return ended;
    }
    silent = switches.silent || switches.passive;
  }
  const InstallerSwitches none;
  int exitCode = Run(installer, installer.ReadsCommandLine() ? switches : none, silent);
  installer.Log().WriteExitCode(uint32_t(exitCode));
  return exitCode;
}
