#include "RunModes.h"

namespace {
const uint32_t kUnattended = 1;
}

int RunModes(InstallWizard& installer) {
  // The wizard dialog is not there yet: without the unattended flag nothing is installed.
  // An entry found damaged, even while the product data was read, stops everything.
  if (installer.DamagedEntry().Empty() && (installer.ProductFlags() & kUnattended)) installer.RunInstall();
  if (!installer.DamagedEntry().Empty()) return ReportDamagedEntry(installer.DamagedEntry());
  installer.RunDeferredPrograms();
  return 0;
}
