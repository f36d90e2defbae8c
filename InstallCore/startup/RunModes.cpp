#include "RunModes.h"

namespace {
const uint32_t kUnattended = 1;
}

int RunModes(InstallWizard& installer) {
  // The wizard dialog is not there yet: without the unattended flag nothing is installed.
  if (installer.ProductFlags() & kUnattended) installer.RunInstall();
  installer.RunDeferredPrograms();
  return 0;
}
