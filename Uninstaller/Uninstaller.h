#pragma once
#include "InstallLog.h"
#include "List.h"
#include "Text.h"
#include "UninstallLogReader.h"

// Undoes the lines of an uninstall log in their order, newest change first, and notes the
// ones it could not undo. A line already undone by someone else (a file that is gone, a key
// that no longer exists) counts as undone.
class Uninstaller {
 public:
  Uninstaller() = default;
  Uninstaller(const Uninstaller&) = delete;
  Uninstaller& operator=(const Uninstaller&) = delete;

  // Never stops at a line that fails: every line is tried. Each outcome goes to report when
  // that is open.
  void Run(const List<LogLine>& lines, InstallLog* report);
  bool Complete() const { return complete_; }
  // The texts of the lines that could not be undone, in log order.
  const List<Text>& Remaining() const { return remaining_; }
  // Files that were in use were moved into the temporary folder; this deletes them once their
  // users have ended. Whatever is still in use goes at the next restart.
  void DeleteMovedFiles();

 private:
  bool Undo(const LogLine& line);
  static Text ActionName(const LogLine& line);
  bool RemoveFile(const Text& path);
  bool MoveAside(const Text& path);

  bool complete_ = true;
  List<Text> remaining_;
  List<Text> moved_;
};
