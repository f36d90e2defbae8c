#pragma once
#include "InstallEngine.h"

// The run's one object: the install engine with the wizard dialog on top.
class InstallWizard : public InstallEngine {
 public:
  explicit InstallWizard(const char* path);
  ~InstallWizard() override;

  void PumpMessages() override;
};
