#pragma once
#include <windows.h>

#include "Text.h"
#include "UninstallArguments.h"

// A running program cannot delete its own file. Started from inside the product's folders, the
// uninstaller therefore has a copy of itself, in a private folder below the temporary folder,
// do the work, and hands on that copy's result as its own, so that whoever started it learns
// the real outcome.
namespace SelfRelaunch {

// Starts the copy with the given arguments and the copy switch, and waits for its result.
// False when no copy could be started: the caller then does the work itself.
bool RunCopy(const Text& arguments, DWORD* exitCode);

// In the copy: gives the original process the result, then waits for it to end, so that files
// it kept in use (its own, moved aside) can be deleted; and has the copy's own file removed.
void ReportResult(const UninstallArguments& arguments, DWORD exitCode);

}  // namespace SelfRelaunch
