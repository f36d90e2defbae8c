#include "InstallWizard.h"

InstallWizard::InstallWizard(const char* path) : InstallEngine(path) {}

InstallWizard::~InstallWizard() = default;

// One message per call keeps long work responsive without letting it starve.
void InstallWizard::PumpMessages() {
  MSG message;
  if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) return;
  TranslateMessage(&message);
  DispatchMessageA(&message);
}
