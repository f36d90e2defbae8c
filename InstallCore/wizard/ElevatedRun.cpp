#include "ElevatedRun.h"

#include "ElevatedCommand.h"
#include "ElevatedProcess.h"

namespace ElevatedRun {

bool Needed(const InstallEngine& installer) {
  return (installer.ProductFlags() & kProductScopeChoice) && !installer.PerUser() && ElevatedProcess::Needed();
}

bool Run(InstallEngine& installer, const InstallerSwitches& choices, uint32_t* exitCode) {
  InstallLog& log = installer.Log();
  Text arguments;
  if (!ElevatedCommand::Build(choices, &arguments)) {
    log.Write("Installing for all users needs administrator rights, and these choices cannot be handed on to an "
              "elevated installer.");
    return false;
  }
  log.Write("Installing for all users needs administrator rights: the installer starts again, elevated, with " +
            arguments);
  log.Suspend();
  DWORD code = 0;
  ElevatedProcess::Outcome outcome = ElevatedProcess::Run(ElevatedProcess::OwnFile(), arguments, &code);
  if (outcome == ElevatedProcess::kEnded) {
    *exitCode = code;
    return true;
  }
  log.Resume();
  if (outcome == ElevatedProcess::kRefused) {
    log.Write("Administrator rights were refused: nothing was installed.");
  } else {
    log.WriteOutcome("Start the installer elevated", code);
  }
  return false;
}

}  // namespace ElevatedRun
