#pragma once

// The uninstaller's exit codes.
enum UninstallOutcome {
  kRemoved = 0,
  // The user said No, or the log could not be read: nothing was changed.
  kNotRun = 1,
  // Some lines were refused for now (a file in use, access denied): run the uninstaller again.
  kIncomplete = 2,
  // Removed, but lines that no run can undo (named in the log and the message) were dropped.
  kRemovedWithLeftovers = 3,
};
