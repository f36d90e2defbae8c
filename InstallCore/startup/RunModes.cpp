#include "RunModes.h"

#include "Module.h"
#include "resource.h"

namespace {
const uint32_t kUnattended = 1;
}

int RunModes(InstallWizard& installer) {
  // An entry found damaged, even while the product data was read, stops everything.
  if (installer.DamagedEntry().Empty()) {
    if (installer.ProductFlags() & kUnattended) {
      installer.RunInstall();
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
