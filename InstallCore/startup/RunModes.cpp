#include "RunModes.h"

#include "ExitCodes.h"
#include "Module.h"
#include "resource.h"

int RunModes(InstallWizard& installer) {
  // An entry found damaged, even while the product data was read, stops everything.
  if (installer.DamagedEntry().Empty()) {
    if (installer.ProductFlags() & kProductUnattended) {
      if (!installer.RunInstall()) return kExitFailed;
    } else {
      HWND owner = GetActiveWindow();
      // The dialog's first message binds its window to the object.
      Module::AddWindowObject(&installer);
      DialogBoxParamA(Module::Instance(), MAKEINTRESOURCEA(IDD_WIZARD), owner, InstallWizard::DialogProc, 0);
    }
  }
  if (!installer.DamagedEntry().Empty()) return ReportDamagedEntry(installer.DamagedEntry());
  installer.RunDeferredPrograms();
  return 0;
}
