#include "RunModes.h"

#include "Module.h"
#include "resource.h"

namespace {
const uint32_t kUnattended = 1;
}

int RunModes(InstallWizard& installer) {
  if (installer.ProductFlags() & kUnattended) {
    installer.RunInstall();
  } else {
    HWND owner = GetActiveWindow();
    // The dialog's first message binds its window to the object.
    Module::AddWindowObject(&installer);
    DialogBoxParamA(Module::Instance(), MAKEINTRESOURCEA(IDD_WIZARD), owner, InstallWizard::DialogProc, 0);
  }
  installer.RunDeferredPrograms();
  return 0;
}
