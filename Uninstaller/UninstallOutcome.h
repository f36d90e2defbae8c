#pragma once

// The uninstaller's exit codes.
enum UninstallOutcome {
  kRemoved = 0,
  // The user said No, or the log could not be read: nothing was changed.
  kNotRun = 1,
  // Some lines could not be undone; all the others were.
  kIncomplete = 2,
};
